// What the console's shared half (console.cpp) and each platform's half
// (console_posix.cpp, console_win32.cpp) give each other.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "console/console.h"
#include "console/encoding.h"
#include "console/screen.h"
#include "console/terminal.h"

namespace console {

// What the terminal has last been told, so that nothing is told twice: -1
// where it is not known.
struct Shown {
    int x = -1;
    int y = -1;
    int attr = -1;
    bool cursor_hidden = false;  // known to be hidden
};

struct ConsoleState {
    int in_fd = 0;
    int out_fd = 1;
    int depth = 0;             // nesting of drawing steps
    bool input_ended = false;  // no key will come any more
    bool no_colour = false;    // every text in the terminal's default colours
    bool resting = false;
    int rest_x = 0;
    int rest_y = 0;
    Screen screen{kScreenWidth, kScreenHeight, Framing::utf8};
    Shown shown;
    // CP949 to the terminal's encoding; none when the terminal reads CP949
    // as it is.
    std::unique_ptr<Converter> to_terminal;
};

ConsoleState& state();

// The platform's half, at the end of every outermost drawing step: shows
// the terminal what changed in `screen`, and leaves the terminal's cursor
// where the model's is. Where the terminal has not yet taken an earlier
// present, nothing more is sent: the model keeps its changes, and
// present_pending sends them once the terminal has caught up.
void present(Screen& screen);
// Presents the model's changes not yet shown, outside any drawing step.
void present_pending();

// On a POSIX terminal, for a terminal that changes size (terminal_posix.cpp):
// hide_screen shows `message` (CP949 lines separated by '\n') in place of the
// screen, which goes on being drawn into the model only; show_screen presents
// the whole model again.
void hide_screen(const std::string& message);
void show_screen();
// On a POSIX terminal: escape sequences that set the terminal's modes rather
// than its cells, sent ahead of the cells of the step they belong to.
void send_control(std::string_view sequence);
// On a POSIX terminal: whether part of the last present still waits for the
// terminal to take it, and dropping it, for the way out.
bool output_pending();
void drop_pending_output();
// On a POSIX terminal (terminal_posix.cpp): the read end of the pipe that
// the signal handlers write to, -1 without a terminal session; and taking
// what it holds: a resize fits the screen again, an ending signal gives the
// terminal back and ends the program.
int signal_pipe();
void take_signals();
// The work of every live BeforeEnd, newest first: the loop's thread, just
// before it ends the program.
void run_before_end();

}  // namespace console
