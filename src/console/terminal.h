// Taking over the terminal for the life of the program, and giving it back.
#pragma once

#include <string>

namespace console {

inline constexpr int kScreenWidth = 169;
inline constexpr int kScreenHeight = 50;

// Puts the console's terminal into raw key input (no echo, no line buffering,
// Ctrl+C still a signal) and undoes every change it or set_fullscreen made,
// on every way out: destruction, SIGINT, SIGTERM, SIGHUP, SIGQUIT, and crash
// signals. Restored means termios as before, colours reset, cursor visible,
// the main screen back. One per process, made on the main thread before any
// other thread starts (it decides which thread receives the signals).
class TerminalSession {
public:
    TerminalSession();
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // Empty when the terminal was taken over; otherwise why not (Korean).
    const std::string& error() const { return error_; }

private:
    std::string error_;
};

// Switches to the alternate screen and asks the terminal for 169x50 cells.
// While the terminal is smaller than that, shows the size needed and the size
// now, and waits for the player to enlarge it. Needs a TerminalSession.
void set_fullscreen();

}  // namespace console
