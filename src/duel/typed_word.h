// The typed-word reader: reads the player's words on a thread of its own, so
// that the match can apply the rival's events while the player types.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <thread>

#include "console/line_input.h"
#include "duel/tables.h"

namespace duel {

// The match's buffer for one typed word: at most 49 CP949 bytes and a zero.
using UserBuffer = char[kWordSlot];

// Whitespace-separated words of a typed line, in order, as scanf's "%s"
// would take them one per read. A run longer than 49 bytes keeps its first
// whole characters that fit in 49 bytes; the rest of that run is dropped.
std::deque<std::string> split_words(std::string_view line);

// The reader of one match. At most one read is in progress at a time; the
// match starts it (idle -> in progress), the reader completes it, and the
// match takes the word (completed -> idle). Words left on a typed line wait
// here, and the next read returns the next of them at once.
class TypedWordReader {
public:
    TypedWordReader();
    // Abandons a read still in progress; see abandon().
    ~TypedWordReader();
    TypedWordReader(const TypedWordReader&) = delete;
    TypedWordReader& operator=(const TypedWordReader&) = delete;

    bool idle() const { return state_.load() == State::idle; }
    bool completed() const { return state_.load() == State::completed; }

    // Starts reading the next word into `user` on the reader thread.
    // Requires idle().
    void start(UserBuffer& user);
    // The word in `user` has been looked at: back to idle. Requires
    // completed().
    void take();
    // Ends a read in progress at once and waits for the reader thread: its
    // word is never completed, and it takes no input meant for what follows.
    // Words still waiting from its line are dropped with it.
    void abandon();
    // Drops every key typed so far that no read has taken (for keys typed
    // during the result pause).
    void discard_pending_input() { input_.discard_pending_input(); }

private:
    enum class State { idle, in_progress, completed };
    friend void read_typed_word(UserBuffer& user, TypedWordReader& reader);

    console::LineInput input_;
    std::deque<std::string> words_;  // the rest of the last line typed
    std::atomic<State> state_{State::idle};
    std::thread thread_;
};

// One read, the body of the reader thread: clears the input field at grid
// (28, 48) and puts the cursor there, then stores the next typed word and a
// zero byte in `user`, marks the read completed and wakes the match. A blank
// line gives nothing and the read goes on. If the read is abandoned, or the
// keyboard is gone, no word is completed.
void read_typed_word(UserBuffer& user, TypedWordReader& reader);

}  // namespace duel
