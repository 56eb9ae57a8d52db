// The program's one wait. Every state of the program (the menu, the
// connection screens, the match) runs in turns: it waits here for what it
// needs (typed keys, its sockets, a deadline), then applies what came and
// draws, and waits again. Only this thread draws and sends. While it waits,
// the loop also presents what the terminal could not take yet, fits the
// screen to a resized terminal, and ends the program on an ending signal
// with the terminal given back. It never polls on a timer: idle, the
// program uses no CPU.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace console {

using Clock = std::chrono::steady_clock;

// A terminal sends an escape sequence in one go: input that pauses inside
// one this long means the sequence was cut off, or the ESC was the Escape
// key. A state with half a sequence waits no longer than this for the rest.
inline constexpr std::chrono::milliseconds kEscapePause{50};

// A socket a state waits on: for something to read (or the connection's
// end), and also for room to send when `write` is set.
struct Watch {
    int sock;
    bool write = false;
};

// What one turn brought.
struct Turn {
    // Typed bytes in the terminal's encoding, keys with no character as the
    // VT sequences a terminal sends for them (ESC [ A for Up ...).
    std::string keys;
    bool keys_ended = false;  // the keyboard has just gone: no key will come
    std::vector<int> ready;   // the watched sockets that are ready
    bool timed_out = false;   // the deadline has come

    bool ready_for(int sock) const;
};

// Whether a turn takes the typed keys, or leaves them waiting in the
// terminal for a later state (a pause, a wait that no key ends).
enum class Keys { take, leave };

// Waits until keys come (when taken), a watched socket is ready, or the
// deadline passes, and says which.
Turn next_turn(Keys keys, std::span<const Watch> watches = {},
               std::optional<Clock::time_point> deadline = std::nullopt);

// Waits until `until`, the keys left waiting.
void pause_until(Clock::time_point until);

// True once the keyboard has gone (the terminal closed or failed).
bool input_ended();

// Drops every key typed so far that no turn has taken: for keys typed while
// no state wanted them.
void discard_typed_keys();

// The deadline of a state whose keys stopped inside an escape sequence
// (`in_escape`): kEscapePause from now; none otherwise.
std::optional<Clock::time_point> escape_deadline(bool in_escape);

// The earlier of two deadlines, either of which may be none.
std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b);

// Work the loop does on its own thread before it ends the program on an
// ending signal (or, on Windows, a console event), for as long as the
// object lives: giving back what must not outlive the program, such as a
// port opened on the router. The work must be over within half a second:
// the program ends a second after the signal whatever is left undone.
class BeforeEnd {
  public:
    explicit BeforeEnd(std::function<void()> work);
    ~BeforeEnd();
    BeforeEnd(const BeforeEnd&) = delete;
    BeforeEnd& operator=(const BeforeEnd&) = delete;

  private:
    std::function<void()> work_;
};

}  // namespace console
