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
// the main screen back. One per process. The program's loop acts on the
// signals (loop.h); should it not come round within a second, an ending
// signal ends the program by itself, the terminal given back.
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

// What the taking over of the terminal tells the player, on every platform
// (CP949).
// 터미널에서 실행해 주세요: 표준 입력이 터미널이 아닙니다.
inline constexpr char kNotATerminal[] =
    "\xC5\xCD\xB9\xCC\xB3\xCE\xBF\xA1\xBC\xAD \xBD\xC7\xC7\xE0\xC7\xD8 \xC1\xD6\xBC\xBC"
    "\xBF\xE4: \xC7\xA5\xC1\xD8 \xC0\xD4\xB7\xC2\xC0\xCC \xC5\xCD\xB9\xCC\xB3\xCE\xC0\xCC "
    "\xBE\xC6\xB4\xD5\xB4\xCF\xB4\xD9.";
// A terminal too small for the screen, on two lines: the size needed, then
// the size now (each a printf format of width and height).
// 터미널 창이 작습니다. %dx%d 칸 이상이 필요합니다.
inline constexpr char kTooSmallNeeded[] =
    "\xC5\xCD\xB9\xCC\xB3\xCE \xC3\xA2\xC0\xCC \xC0\xDB\xBD\xC0\xB4\xCF\xB4\xD9. "
    "%dx%d \xC4\xAD \xC0\xCC\xBB\xF3\xC0\xCC \xC7\xCA\xBF\xE4\xC7\xD5\xB4\xCF\xB4\xD9.";
// 지금 크기: %dx%d 칸. 창을 늘려 주세요.
inline constexpr char kTooSmallNow[] =
    "\xC1\xF6\xB1\xDD \xC5\xA9\xB1\xE2: %dx%d \xC4\xAD. \xC3\xA2\xC0\xBB \xB4\xC3"
    "\xB7\xC1 \xC1\xD6\xBC\xBC\xBF\xE4.";

// Switches to the alternate screen and asks the terminal for 169x50 cells.
// While the terminal is smaller than that, shows the size needed and the size
// now in place of the screen, which goes on being drawn and shows again as
// soon as the player enlarges the terminal. Needs a TerminalSession.
void set_fullscreen();

}  // namespace console
