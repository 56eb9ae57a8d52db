#include "support/two_set.h"

#include <cstdint>
#include <cstdlib>

namespace taja::test {

namespace {

// The keyboard: jamo in the order of the syllable arithmetic.
constexpr const char* kInitialKeys[19] = {"r", "R", "s", "e", "E", "f", "a", "q", "Q", "t",
                                          "T", "d", "w", "W", "c", "z", "x", "v", "g"};
constexpr const char* kVowelKeys[21] = {"k",  "o",  "i",  "O",  "j",  "p",  "u",
                                        "P",  "h",  "hk", "ho", "hl", "y",  "n",
                                        "nj", "np", "nl", "b",  "m",  "ml", "l"};
constexpr const char* kFinalKeys[28] = {"",   "r",  "R",  "rt", "s",  "sw", "sg", "e", "f",  "fr",
                                        "fa", "fq", "ft", "fx", "fv", "fg", "a",  "q", "qt", "t",
                                        "T",  "d",  "w",  "c",  "z",  "x",  "v",  "g"};

constexpr std::uint32_t kFirstSyllable = 0xAC00;
constexpr std::uint32_t kLastSyllable = 0xD7A3;

}  // namespace

std::string two_set_keys(std::string_view utf8) {
    std::string keys;
    for (std::size_t i = 0; i < utf8.size(); i += 3) {
        // Every precomposed syllable takes three bytes in UTF-8.
        const auto b = [&](std::size_t k) { return static_cast<std::uint8_t>(utf8[i + k]); };
        if (i + 3 > utf8.size() || (b(0) & 0xF0) != 0xE0) std::abort();
        const std::uint32_t cp = ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
        if (cp < kFirstSyllable || cp > kLastSyllable) std::abort();
        const std::uint32_t s = cp - kFirstSyllable;
        keys += kInitialKeys[s / (21 * 28)];
        keys += kVowelKeys[s % (21 * 28) / 28];
        keys += kFinalKeys[s % 28];
    }
    return keys;
}

}  // namespace taja::test
