// How many keys a text takes on the two-set (두벌식) Korean keyboard, the
// measure Korean typing programs give their speed (타수) in.
#pragma once

#include <string_view>

namespace duel {

// The two-set keystrokes of the CP949 text `cp949_text`: every jamo key 1, a
// doubled consonant 1 (Shift is not counted), a compound vowel (ㅘ ㅙ ㅚ ㅝ
// ㅞ ㅟ ㅢ) or compound final (ㄳ ㄵ ㄶ ㄺ ㄻ ㄼ ㄽ ㄾ ㄿ ㅀ ㅄ) 2, Space and
// Enter 1, any other character 1. A Hangul syllable counts as the jamo it is
// made of; a jamo standing alone counts as its own keys. Safe to call from
// any thread.
int count_keystrokes(std::string_view cp949_text);

}  // namespace duel
