// The typed-word reader: reads the player's lines on a thread of its own, so
// that the match can apply the rival's events while the player types.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "console/line_input.h"
#include "duel/inbox.h"

namespace duel {

// The input field: 15 cells at grid (28, 48), inside the board's input box.
inline constexpr int kInputCol = 28;
inline constexpr int kInputRow = 48;
inline constexpr int kInputCells = 15;

// Whitespace-separated words of a typed line, in order, as scanf's "%s"
// would take them one per read. A run longer than 49 bytes keeps its first
// whole characters that fit in 49 bytes; the rest of that run is dropped.
std::deque<std::string> split_words(std::string_view line);

// The reader of one match: one thread, from the start of the match until
// abandon(), that reads line after line in the input field (echoed there)
// and posts each line ended with Enter to the match's inbox, blank ones too.
// The line stays in the field until the match, as it takes the line, calls
// next_line() in the drawing step that applies it: so a typed word reaches
// the terminal in one write, the field's blanking included.
class TypedWordReader {
  public:
    explicit TypedWordReader(Inbox& inbox);
    // Abandons the read in progress; see abandon().
    ~TypedWordReader();
    TypedWordReader(const TypedWordReader&) = delete;
    TypedWordReader& operator=(const TypedWordReader&) = delete;

    // Ends the read in progress at once and waits for the reader thread: the
    // half-typed line is dropped, and no input meant for what follows is
    // taken. Lines already posted stay in the inbox, which goes with the
    // match.
    void abandon();
    // Blanks the field, the cursor resting on its first cell, in the
    // caller's drawing step, and lets the reader go on to the next line.
    void next_line();
    // Drops every key typed so far that no read has taken (for keys typed
    // during the result pause). Only once abandoned.
    void discard_pending_input() { input_.discard_pending_input(); }

  private:
    void read_lines(Inbox& inbox);

    console::LineInput input_;
    std::mutex mutex_;
    std::condition_variable go_on_;
    bool line_waiting_ = false;  // posted, and next_line() not called yet
    bool abandoned_ = false;
    std::thread thread_;
};

}  // namespace duel
