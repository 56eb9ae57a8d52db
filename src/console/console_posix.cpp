// The console on a POSIX terminal: ECMA-48 / VT escape sequences written
// straight to the terminal, CP949 converted to the terminal's encoding.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"

namespace console {

namespace {

// The POSIX half of the console's state.
struct Terminal {
    std::string control;  // mode sequences for the next present
    std::string out;      // the bytes of one present
    // What the terminal has not taken yet of the last present: its
    // descriptor is non-blocking while the program owns it.
    std::string pending;
    std::size_t pending_from = 0;
    // While the terminal is too small for the screen, drawing goes on into
    // the model only and the terminal shows what size is needed.
    bool screen_hidden = false;
};

Terminal& terminal() {
    static Terminal t;
    return t;
}

// Writes what the terminal has not taken yet, as far as it takes it now,
// looping on partial writes and interruptions. True once nothing is left. A
// terminal that is gone (EIO, EPIPE) takes nothing more, and there is no one
// to report it to on screen: what it did not take is dropped.
bool write_pending(Terminal& t, int fd) {
    while (t.pending_from < t.pending.size()) {
        ssize_t w =
            ::write(fd, t.pending.data() + t.pending_from, t.pending.size() - t.pending_from);
        if (w > 0) {
            t.pending_from += static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return false;
        } else {
            break;
        }
    }
    t.pending.clear();
    t.pending_from = 0;
    return true;
}

void move(Terminal& t, int x, int y) {
    Shown& shown = state().shown;
    if (shown.x == x && shown.y == y) return;
    // CUP: cursor position, 1-based row;column.
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "\x1b[%d;%dH", y + 1, x + 1);
    t.out.append(buf, static_cast<std::size_t>(n));
    shown.x = x;
    shown.y = y;
}

// SGR foreground for each console colour. The console numbers colours
// blue = 1, red = 4; SGR numbers them red = 1, blue = 4; bright uses 90-97.
constexpr int kSgrColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

void pen(Terminal& t, Attr attr) {
    if (state().shown.attr == attr) return;
    int fg = attr & 0x7;
    int fg_base = (attr & 0x8) ? 90 : 30;
    int bg = (attr >> 4) & 0x7;
    int bg_base = (attr & 0x80) ? 100 : 40;
    // SGR 0 first: every attribute is set whole. SGR 4: underline.
    char buf[32];
    const char* underline = (attr & kUnderline) ? ";4" : "";
    int n = state().no_colour
                ? std::snprintf(buf, sizeof buf, "\x1b[0%sm", underline)
                : std::snprintf(buf, sizeof buf, "\x1b[0;%d;%d%sm", fg_base + kSgrColour[fg],
                                bg_base + kSgrColour[bg], underline);
    t.out.append(buf, static_cast<std::size_t>(n));
    state().shown.attr = attr;
}

}  // namespace

void present(Screen& screen) {
    Terminal& t = terminal();
    if (!write_pending(t, state().out_fd)) return;  // the model keeps its changes
    const int cursor_x = screen.x();
    const int cursor_y = screen.y();
    Screen::Changes changes = screen.take_changes();
    Shown& shown = state().shown;
    t.out.clear();
    t.out.swap(t.control);  // the modes first
    if (!t.screen_hidden) {
        if (changes.cleared) {
            pen(t, changes.clear_attr);
            t.out += "\x1b[2J";  // ED: the whole screen
        }
        for (const Screen::Run& run : changes.runs) {
            move(t, run.x, run.y);
            pen(t, run.attr);
            t.out += run.text;
            shown.x += run.cells;
        }
        move(t, cursor_x, cursor_y);
        if (screen.cursor_hidden() && !shown.cursor_hidden) {
            t.out += "\x1b[?25l";  // DECTCEM: hide the cursor
            shown.cursor_hidden = true;
        }
    }
    t.pending.swap(t.out);
    write_pending(t, state().out_fd);
}

bool output_pending() { return !terminal().pending.empty(); }

void drop_pending_output() {
    Terminal& t = terminal();
    t.pending.clear();
    t.pending_from = 0;
}

void send_control(std::string_view sequence) {
    DrawStep step;
    terminal().control += sequence;
}

void hide_screen(const std::string& message) {
    DrawStep step;
    ConsoleState& s = state();
    Terminal& t = terminal();
    t.screen_hidden = true;
    s.shown = Shown{};
    t.control += "\x1b[0;37;40m\x1b[2J";  // SGR grey on black, ED the whole screen
    std::size_t start = 0;
    for (int row = 0; start <= message.size(); ++row) {
        std::size_t end = message.find('\n', start);
        if (end == std::string::npos) end = message.size();
        std::string line = message.substr(start, end - start);
        t.control += "\x1b[" + std::to_string(row + 1) + ";1H";  // CUP: the line's row
        t.control += s.to_terminal ? s.to_terminal->convert(line) : line;
        start = end + 1;
    }
}

void show_screen() {
    DrawStep step;
    Terminal& t = terminal();
    t.screen_hidden = false;
    state().shown = Shown{};
    state().screen.invalidate();
}

}  // namespace console
