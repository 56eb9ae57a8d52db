// Typed lines, echoed into a field of the screen.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "console/encoding.h"
#include "console/hangul_composer.h"
#include "console/line_editor.h"

namespace console {

// Where the echo of a line goes: `width` cells from cell (x, y). The echo
// never leaves these cells; the cursor may rest on the cell just after them
// when the line fills the field.
struct Field {
    int x;
    int y;
    int width;
};

// A line ended with Enter.
struct LineRead {
    std::string line;  // CP949, without the Enter
    // When the first key of the line was typed.
    std::chrono::steady_clock::time_point first_key{};
    // The line's text, two characters or more, came in one read: faster
    // than a person types (a paste, or a program typing).
    bool burst = false;
};

// Whether letter keys compose Hangul (two-set) as they are typed: for the
// duel's words, never for an address.
enum class Composition { none, hangul };

// The line discipline of LineEditor over the keys the loop's turns bring
// (loop.h): the owner adds each turn's keys, takes the lines they end, and
// draws the field in its own drawing step. Make it after open_console(): it
// reads the terminal's encoding then.
class LineInput {
  public:
    // `pastes`: whether text the terminal marks as pasted is typed text, or
    // is dropped (take_dropped_paste() then says so).
    explicit LineInput(Composition composition = Composition::none,
                       LineEditor::Pastes pastes = LineEditor::Pastes::take);
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

    // Typed bytes, in the terminal's encoding.
    void add(std::string_view keys);

    // The next line among the keys added, up to its Enter; nothing while no
    // Enter has come. Keys after the Enter wait for the next call, so lines
    // typed in one burst come out one per call.
    std::optional<LineRead> next_line();

    // Draws the field as one drawing step: the end of the line that fits,
    // then blanks to the end of the field, in whatever colour is current, as
    // a console's own echo would be. A syllable being composed shows
    // underlined after the text. The cursor rests right after it all, so
    // that the terminal's input method shows its unfinished syllable there.
    void draw(Field field) const;
    // Draws `cp949` in the field in the same way, as a line that stands
    // there after its Enter.
    void draw_line(Field field, std::string_view cp949) const;

    // The keys stopped inside an escape sequence: the owner waits no longer
    // than kEscapePause for the rest, then ends it. An ESC with nothing
    // after it was the Escape key: take_escape() then says so, once.
    bool in_escape() const { return editor_.in_escape(); }
    void end_escape() { escape_key_ = editor_.end_escape() || escape_key_; }
    bool escape_pending() const { return escape_key_; }
    bool take_escape() { return std::exchange(escape_key_, false); }
    bool take_dropped_paste() { return editor_.take_dropped_paste(); }

    // The line typed so far with the syllable being composed after it,
    // CP949: what the field shows.
    std::string typed();

    // Drops the line typed so far and every key not yet fed: they were meant
    // for a state that has ended.
    void drop();

    // Puts `cp949` in the line, in place of what was typed so far, as if it
    // had been typed: the cursor after it. Keys added and not yet fed stay.
    void set_line(std::string_view cp949);

  private:
    LineEditor editor_;
    std::unique_ptr<HangulComposer> composer_;  // none when keys do not compose
    Converter to_cp949_;
    std::string kept_;  // added, not yet fed to the editor
    // Where in kept_ each read added since begins; how many reads the text
    // of the line being typed came in, and whether the next byte fed is the
    // first of a read.
    std::deque<std::size_t> read_starts_;
    int reads_in_line_ = 0;
    bool new_read_ = false;
    std::optional<std::chrono::steady_clock::time_point> first_key_;  // of the line being typed
    bool escape_key_ = false;
};

// Reads one line in the program's loop, for a state that waits for nothing
// else: the field drawn at once and after every turn, and after the Enter
// the line left standing in it. A line already among the keys added comes
// at once. Nothing once the keyboard has gone, or when the Escape key
// comes (input.take_escape() then says so). `on_first_key`, if given, is
// called in the drawing step of the first turn that brings keys.
std::optional<LineRead> read_line(LineInput& input, Field field,
                                  const std::function<void()>& on_first_key = {});

}  // namespace console
