// The console on a POSIX terminal: ECMA-48 / VT escape sequences written
// straight to the terminal, CP949 converted to the terminal's encoding.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"
#include "console/encoding.h"
#include "console/keys.h"
#include "console/line_editor.h"
#include "console/screen_copy.h"
#include "console/terminal.h"

namespace console {

namespace {

// A terminal sends an escape sequence in one go: an ESC that nothing follows
// within this long is the Escape key.
constexpr int kEscapeWaitMs = 50;

struct ConsoleState {
    std::recursive_timed_mutex lock;
    int in_fd = 0;
    int out_fd = 1;
    int depth = 0;  // nesting of drawing steps on the thread holding the lock
    bool resting = false;
    int rest_x = 0;
    int rest_y = 0;
    std::unique_ptr<Converter> to_terminal;  // used under the lock only
    // What the program has drawn, to draw it all again after a resize.
    ScreenCopy copy{kScreenWidth, kScreenHeight, Framing::utf8};
    bool cursor_hidden = false;
    // While the terminal is too small for the board, drawing goes on into
    // the copy only and the terminal shows what size is needed.
    bool board_hidden = false;
};

ConsoleState& state() {
    static ConsoleState s;
    return s;
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

// Drawing for the board: into the terminal unless the board is hidden.
void write_str(const std::string& s) {
    if (!state().board_hidden) write_all(state().out_fd, s.data(), s.size());
}

std::string cup(int x, int y) {
    // CUP: cursor position, 1-based row;column.
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "\x1b[%d;%dH", y + 1, x + 1);
    return std::string(buf, static_cast<std::size_t>(n));
}

// SGR foreground for each console colour. The console numbers colours
// blue = 1, red = 4; SGR numbers them red = 1, blue = 4; bright uses 90-97.
constexpr int kSgrColour[8] = {0, 4, 2, 6, 1, 5, 3, 7};

std::string sgr(Attr attr) {
    int fg = attr & 0x7;
    int fg_base = (attr & 0x8) ? 90 : 30;
    int bg = (attr >> 4) & 0x7;
    int bg_base = (attr & 0x80) ? 100 : 40;
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "\x1b[0;%d;%dm", fg_base + kSgrColour[fg],
                          bg_base + kSgrColour[bg]);
    return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

void open_console(int in_fd, int out_fd) {
    ConsoleState& s = state();
    std::lock_guard guard(s.lock);
    s.in_fd = in_fd;
    s.out_fd = out_fd;
    std::setlocale(LC_CTYPE, "");
    std::string enc = terminal_encoding();
    s.copy = ScreenCopy(kScreenWidth, kScreenHeight, framing_of(enc));
    if (enc == "CP949" || enc == "EUC-KR" || enc == "UHC") {
        s.to_terminal.reset();  // the terminal reads our bytes as they are
    } else {
        s.to_terminal = std::make_unique<Converter>("CP949", enc);
    }
}

int console_in() { return state().in_fd; }
int console_out() { return state().out_fd; }

DrawStep::DrawStep() : lock_(state().lock) { ++state().depth; }

DrawStep::~DrawStep() {
    ConsoleState& s = state();
    if (--s.depth == 0 && s.resting) write_str(cup(s.rest_x, s.rest_y));
}

bool end_drawing(std::chrono::milliseconds wait) { return state().lock.try_lock_for(wait); }

void set_cursor(int x, int y) {
    DrawStep step;
    state().copy.move_to(x, y);
    write_str(cup(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)));
}

void set_cursor_grid(int col, int row) { set_cursor(3 * col, row); }

void set_color(Attr attr) {
    DrawStep step;
    state().copy.set_attr(attr);
    write_str(sgr(attr));
}

void hide_cursor() {
    DrawStep step;
    state().cursor_hidden = true;
    write_str("\x1b[?25l");  // DECTCEM: hide the cursor
}

void clear_screen() {
    DrawStep step;
    state().copy.clear();
    // Every colour the program sets has a black background, but the
    // terminal's default may not: make sure ED blanks on black.
    write_str("\x1b[40m\x1b[2J\x1b[H");  // SGR black background, ED whole screen, CUP home
}

void write_cp949(const std::string& text) {
    DrawStep step;
    ConsoleState& s = state();
    std::string out = s.to_terminal ? s.to_terminal->convert(text) : text;
    s.copy.put(out);
    write_str(out);
}

void write_raw(const char* bytes, std::size_t n) {
    DrawStep step;
    state().copy.put(std::string_view(bytes, n));
    write_str(std::string(bytes, n));
}

void hide_board(const std::string& message) {
    DrawStep step;
    ConsoleState& s = state();
    s.board_hidden = true;
    std::string out = sgr(kGrey) + "\x1b[2J";  // ED: the whole screen
    std::size_t start = 0;
    for (int row = 0; start <= message.size(); ++row) {
        std::size_t end = message.find('\n', start);
        if (end == std::string::npos) end = message.size();
        std::string line = message.substr(start, end - start);
        out += cup(0, row) + (s.to_terminal ? s.to_terminal->convert(line) : line);
        start = end + 1;
    }
    write_all(s.out_fd, out.data(), out.size());
}

void show_board() {
    DrawStep step;
    ConsoleState& s = state();
    s.board_hidden = false;
    const ScreenCopy& copy = s.copy;
    std::string out = "\x1b[40m\x1b[2J";  // SGR black background, ED whole screen
    for (int y = 0; y < copy.rows(); ++y) {
        out += cup(0, y);
        int attr = -1;
        for (int x = 0; x < copy.cols(); ++x) {
            const ScreenCopy::Cell& c = copy.cell(x, y);
            if (c.text.empty()) continue;  // the right half of a wide character
            if (c.attr != attr) {
                out += sgr(c.attr);
                attr = c.attr;
            }
            out += c.text;
        }
    }
    out += sgr(copy.attr()) + cup(copy.x(), copy.y());
    if (s.cursor_hidden) out += "\x1b[?25l";  // DECTCEM: hide the cursor
    write_str(out);
}

void set_cursor_rest(int x, int y) {
    DrawStep step;
    ConsoleState& s = state();
    s.resting = true;
    s.rest_x = x;
    s.rest_y = y;
}

void clear_cursor_rest() {
    DrawStep step;
    state().resting = false;
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
