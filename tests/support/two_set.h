// The keys a player presses on the two-set (두벌식) Korean keyboard to type
// a Hangul word, derived from the syllables themselves.
#pragma once

#include <string>
#include <string_view>

namespace taja::test {

// The keystrokes of `utf8`, which must be precomposed Hangul syllables
// (U+AC00..U+D7A3) only: each syllable split into its initial, vowel and
// final by the Unicode syllable arithmetic, each jamo to its key or keys.
std::string two_set_keys(std::string_view utf8);

}  // namespace taja::test
