// The console on a POSIX terminal: ECMA-48 / VT escape sequences written
// straight to the terminal, CP949 converted to the terminal's encoding.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"
#include "console/keys.h"

namespace console {

namespace {

// A terminal sends an escape sequence in one go: an ESC that nothing follows
// within this long is the Escape key.
constexpr int kEscapeWaitMs = 50;

// The POSIX half of the console's state, under the console lock.
struct Terminal {
    std::string control;  // mode sequences for the next present
    std::string out;      // the bytes of one present
    // While the terminal is too small for the screen, drawing goes on into
    // the model only and the terminal shows what size is needed.
    bool screen_hidden = false;
};

Terminal& terminal() {
    static Terminal t;
    return t;
}

// Writes all of `n` bytes, looping on partial writes and interruptions. A
// terminal that is gone (EIO, EPIPE) takes nothing more; there is no one to
// report it to on screen.
void write_all(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && errno == EINTR) {
            continue;
        } else if (w < 0 && errno == EAGAIN) {
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, -1);
        } else {
            return;
        }
    }
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
    int n = std::snprintf(buf, sizeof buf, "\x1b[0;%d;%d%sm", fg_base + kSgrColour[fg],
                          bg_base + kSgrColour[bg], (attr & kUnderline) ? ";4" : "");
    t.out.append(buf, static_cast<std::size_t>(n));
    state().shown.attr = attr;
}

}  // namespace

void present(Screen& screen) {
    const int cursor_x = screen.x();
    const int cursor_y = screen.y();
    Screen::Changes changes = screen.take_changes();
    Terminal& t = terminal();
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
    write_all(state().out_fd, t.out.data(), t.out.size());
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
    std::string out = "\x1b[0;37;40m\x1b[2J";  // SGR grey on black, ED the whole screen
    std::size_t start = 0;
    for (int row = 0; start <= message.size(); ++row) {
        std::size_t end = message.find('\n', start);
        if (end == std::string::npos) end = message.size();
        std::string line = message.substr(start, end - start);
        out += "\x1b[" + std::to_string(row + 1) + ";1H";  // CUP: the line's row
        out += s.to_terminal ? s.to_terminal->convert(line) : line;
        start = end + 1;
    }
    write_all(s.out_fd, out.data(), out.size());
}

void show_screen() {
    DrawStep step;
    Terminal& t = terminal();
    t.screen_hidden = false;
    state().shown = Shown{};
    state().screen.invalidate();
}

// The menu's keys and the keys of a wait for Escape: one at a time, on the
// main thread.
KeyDecoder& key_decoder() {
    static KeyDecoder decoder;
    return decoder;
}

int read_key() {
    KeyDecoder& decoder = key_decoder();
    const int fd = state().in_fd;
    while (!decoder.has_key()) {
        unsigned char buf[64];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        for (ssize_t i = 0; i < n; ++i) decoder.feed(buf[i]);
        if (decoder.awaiting_escape()) {
            // A terminal sends an escape sequence in one go. If nothing
            // follows the ESC within a moment, it was the Escape key.
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, kEscapeWaitMs) <= 0) decoder.flush();
        }
    }
    return decoder.take_key();
}

KeysWaiting take_waiting_keys() {
    KeyDecoder& decoder = key_decoder();
    const int fd = state().in_fd;
    bool escape = false;
    for (;;) {
        // Nothing waiting: done, unless an ESC waits for what follows it.
        pollfd pfd{fd, POLLIN, 0};
        int r = ::poll(&pfd, 1, decoder.awaiting_escape() ? kEscapeWaitMs : 0);
        if (r < 0 && errno == EINTR) continue;
        if (r == 0 && decoder.awaiting_escape()) decoder.flush();
        if (r <= 0) break;
        unsigned char buf[64];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return KeysWaiting::ended;
        for (ssize_t i = 0; i < n; ++i) decoder.feed(buf[i]);
        while (decoder.has_key()) escape = decoder.take_key() == kEscapeKey || escape;
    }
    while (decoder.has_key()) escape = decoder.take_key() == kEscapeKey || escape;
    return escape ? KeysWaiting::escape : KeysWaiting::none;
}

}  // namespace console
