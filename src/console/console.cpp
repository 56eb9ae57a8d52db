// The half of the console that every platform shares: the drawing steps and
// the primitives, which draw into the model of the screen. Each platform
// presents the model (present in console_posix.cpp, console_win32.cpp).
#include "console/console.h"

#include <clocale>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

#include "console/console_detail.h"

namespace console {

ConsoleState& state() {
    static ConsoleState s;
    return s;
}

void open_console(int in_fd, int out_fd) {
    ConsoleState& s = state();
    s.in_fd = in_fd;
    s.out_fd = out_fd;
    std::setlocale(LC_CTYPE, "");
    std::string enc = terminal_encoding();
    s.screen = Screen(kScreenWidth, kScreenHeight, framing_of(enc));
    s.shown = Shown{};  // a terminal new to us
    s.input_ended = false;
    if (framing_of(enc) == Framing::double_byte) {
        s.to_terminal.reset();  // the terminal reads our bytes as they are
    } else {
        s.to_terminal = std::make_unique<Converter>("CP949", enc);
    }
}

int console_in() { return state().in_fd; }
int console_out() { return state().out_fd; }

DrawStep::DrawStep() { ++state().depth; }

DrawStep::~DrawStep() {
    ConsoleState& s = state();
    if (--s.depth != 0) return;
    // The cursor stays where it rests until something places it again, as
    // a terminal's cursor would.
    if (s.resting) s.screen.move_to(s.rest_x, s.rest_y);
    present(s.screen);
}

void present_pending() {
    DrawStep step;  // a step that draws nothing: its end presents what waits
}

void set_cursor(int x, int y) {
    DrawStep step;
    // As the console's own placement takes them: 16 bits each, unchecked.
    state().screen.move_to(static_cast<std::int16_t>(x), static_cast<std::int16_t>(y));
}

void set_cursor_grid(int col, int row) { set_cursor(3 * col, row); }

void set_color(Attr attr) {
    DrawStep step;
    state().screen.set_attr(attr);
}

void draw_without_colour() {
    DrawStep step;
    state().no_colour = true;
}

void set_underline(bool on) {
    DrawStep step;
    Screen& screen = state().screen;
    screen.set_attr(on ? screen.attr() | kUnderline : screen.attr() & ~kUnderline);
}

void hide_cursor() {
    DrawStep step;
    state().screen.hide_cursor();
}

void clear_screen() {
    DrawStep step;
    state().screen.clear();
}

namespace {

// CP949 text at the cursor, in the terminal's encoding.
void write_cp949(const std::string& text) {
    DrawStep step;
    ConsoleState& s = state();
    s.screen.put(s.to_terminal ? s.to_terminal->convert(text) : text);
}

}  // namespace

void print_text(const char* format, ...) {
    char small[512];
    std::string text;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(n));
    } else {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    write_cp949(text);
}

void write_raw(const char* bytes, std::size_t n) {
    DrawStep step;
    state().screen.put(std::string_view(bytes, n));
}

void print_at(int x, int y, const char* text) {
    DrawStep step;
    set_cursor(x, y);
    write_cp949(text);
}

void print_at_grid(int col, int row, const char* text) { print_at(3 * col, row, text); }

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

}  // namespace console
