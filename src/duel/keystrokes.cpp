#include "duel/keystrokes.h"

#include <cstdint>
#include <string>

#include "console/encoding.h"

namespace duel {

namespace {

// Precomposed syllables: U+AC00 + (initial * 21 + vowel) * 28 + final.
constexpr std::uint32_t kFirstSyllable = 0xAC00;
constexpr std::uint32_t kLastSyllable = 0xD7A3;
constexpr std::uint32_t kVowels = 21;
constexpr std::uint32_t kFinals = 28;

// Keys of each vowel and final, in the order of the syllable arithmetic. A
// compound takes the keys of its two parts; the doubled consonants ㄲ ㅆ are
// one key with Shift.
constexpr std::uint8_t kVowelKeys[kVowels] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1,  // ㅏ ㅐ ㅑ ㅒ ㅓ ㅔ ㅕ ㅖ ㅗ
    2, 2, 2,                    // ㅘ ㅙ ㅚ
    1, 1,                       // ㅛ ㅜ
    2, 2, 2,                    // ㅝ ㅞ ㅟ
    1, 1,                       // ㅠ ㅡ
    2,                          // ㅢ
    1,                          // ㅣ
};
constexpr std::uint8_t kFinalKeys[kFinals] = {
    0,                          // none
    1, 1, 2,                    // ㄱ ㄲ ㄳ
    1, 2, 2,                    // ㄴ ㄵ ㄶ
    1,                          // ㄷ
    1, 2, 2, 2, 2, 2, 2, 2,     // ㄹ ㄺ ㄻ ㄼ ㄽ ㄾ ㄿ ㅀ
    1, 1, 2,                    // ㅁ ㅂ ㅄ
    1, 1, 1, 1, 1, 1, 1, 1, 1,  // ㅅ ㅆ ㅇ ㅈ ㅊ ㅋ ㅌ ㅍ ㅎ
};

// Compatibility jamo, the letters as they stand alone (ㄱ U+3131 to ㅣ
// U+3163): the compounds among them.
bool compound_jamo(std::uint32_t cp) {
    switch (cp) {
        case 0x3133:  // ㄳ
        case 0x3135:  // ㄵ
        case 0x3136:  // ㄶ
        case 0x313A:  // ㄺ
        case 0x313B:  // ㄻ
        case 0x313C:  // ㄼ
        case 0x313D:  // ㄽ
        case 0x313E:  // ㄾ
        case 0x313F:  // ㄿ
        case 0x3140:  // ㅀ
        case 0x3144:  // ㅄ
        case 0x3158:  // ㅘ
        case 0x3159:  // ㅙ
        case 0x315A:  // ㅚ
        case 0x315D:  // ㅝ
        case 0x315E:  // ㅞ
        case 0x315F:  // ㅟ
        case 0x3162:  // ㅢ
            return true;
        default:
            return false;
    }
}

int keys_of(std::uint32_t cp) {
    if (cp >= kFirstSyllable && cp <= kLastSyllable) {
        const std::uint32_t s = cp - kFirstSyllable;
        return 1 + kVowelKeys[s % (kVowels * kFinals) / kFinals] + kFinalKeys[s % kFinals];
    }
    return compound_jamo(cp) ? 2 : 1;
}

}  // namespace

int count_keystrokes(std::string_view cp949_text) {
    // The converter marks a byte sequence that is no CP949 character with one
    // '?', which counts as one key like any other character.
    const std::string utf8 = console::Converter("CP949", "UTF-8").convert(cp949_text);
    int keys = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<std::uint8_t>(utf8[i]);
        const std::size_t n = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        std::uint32_t cp = n == 1 ? lead : lead & (0xFFu >> (n + 1));
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) {
            cp = (cp << 6) | (static_cast<std::uint8_t>(utf8[i + k]) & 0x3Fu);
        }
        keys += keys_of(cp);
        i += n;
    }
    return keys;
}

}  // namespace duel
