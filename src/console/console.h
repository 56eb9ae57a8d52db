// The console: cursor placement by cell and by three-cell grid column, text
// colour, clearing, and printf-style output of CP949 text.
//
// Only the program's loop thread draws (see loop.h). A drawing step -- a
// placement, maybe a colour, and the text that belongs there -- reaches the
// terminal whole: the primitives draw into the console's model of the
// screen, and when the outermost step ends, what it changed is presented in
// one go, with the cursor placed once. Each primitive is a step for itself
// too, so a lone primitive is presented when it returns. A terminal that
// does not take what is presented never holds the program up: the model
// keeps what it has not been shown, and the loop presents the latest state
// when the terminal reads again.
#pragma once

#include <cstddef>
#include <cstdint>

namespace console {

// Text attributes keep the console's meaning: bit 0 blue, 1 green, 2 red,
// 3 bright; the background is always black.
using Attr = std::uint16_t;
inline constexpr Attr kSea = 3;
inline constexpr Attr kGrey = 7;
// Not a colour: underlined text, as an input method marks the syllable it
// is composing (the Windows console's own bit for it).
inline constexpr Attr kUnderline = 0x8000;

// Chooses the descriptors the console reads keys from and draws on (standard
// input and output unless told otherwise; tests pass a pseudo-terminal) and
// the terminal's text encoding (the locale's codeset). Call before drawing.
void open_console(int in_fd = 0, int out_fd = 1);
int console_in();
int console_out();

// One drawing step. Steps nest; the outermost one presents the step when it
// ends.
class DrawStep {
  public:
    DrawStep();
    ~DrawStep();
    DrawStep(const DrawStep&) = delete;
    DrawStep& operator=(const DrawStep&) = delete;
};

void set_cursor(int x, int y);
void set_cursor_grid(int col, int row);  // cell (3 * col, row)
void set_color(Attr attr);
void set_underline(bool on);  // later text underlined, or no longer
// From now on every text is drawn in the terminal's default colours, as a
// player who set NO_COLOR asks: the attributes still say what they say.
void draw_without_colour();
void hide_cursor();
void clear_screen();  // blank screen on black, cursor at (0, 0)

// printf-style output at the cursor. The format and its arguments are CP949
// text; it reaches the terminal converted to the terminal's encoding.
void print_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The fixed CP949 `text` at cell (x, y), or at grid (col, row), in the
// colour in force, as one step.
void print_at(int x, int y, const char* text);
void print_at_grid(int col, int row, const char* text);

// Text that is already in the terminal's encoding (the echo of typed text)
// at the cursor, as one step. Control bytes in it are skipped.
void write_raw(const char* bytes, std::size_t n);

// Where the cursor rests between drawing steps while a line is being typed,
// so that the terminal's input method shows its unfinished syllable there.
// Every outermost step ends by putting the cursor back at the rest position.
void set_cursor_rest(int x, int y);
void clear_cursor_rest();

}  // namespace console
