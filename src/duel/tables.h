// The duel's vocabulary: the words the players type and the names one of
// which is shown as the rival's. Both are fixed for the life of the program.
#pragma once

#include <cstddef>

namespace duel {

inline constexpr int kWordCount = 48;
inline constexpr std::size_t kWordSlot = 50;  // also the size of the typed-word buffer
inline constexpr int kNameCount = 8;
inline constexpr std::size_t kNameSlot = 10;

// CP949 text, each slot zero-terminated and zero-padded to its full size.
// A word is always referred to by its index. Every word is 4, 6 or 8 bytes
// (2 to 4 syllables), every name 2, 4, 6 or 8 bytes.
extern const char word_table[kWordCount][kWordSlot];
// Only the first seven names are ever shown.
extern const char name_table[kNameCount][kNameSlot];

}  // namespace duel
