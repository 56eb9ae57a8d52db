// The words the player types: the input field, and the words of a line.
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <string_view>

namespace duel {

using Clock = std::chrono::steady_clock;

// A line the player ended with Enter: CP949, without the Enter, and when its
// first key and its Enter came; `burst` when its text came all at once,
// faster than a person types.
struct TypedLine {
    std::string text;
    Clock::time_point first_key;
    Clock::time_point enter;
    bool burst = false;
};

// The input field: 15 cells at grid (28, 48), inside the board's input box.
inline constexpr int kInputCol = 28;
inline constexpr int kInputRow = 48;
inline constexpr int kInputCells = 15;

// Whitespace-separated words of a typed line, in order, as scanf's "%s"
// would take them one per read. A run longer than 49 bytes keeps its first
// whole characters that fit in 49 bytes; the rest of that run is dropped.
std::deque<std::string> split_words(std::string_view line);

}  // namespace duel
