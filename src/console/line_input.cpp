// The parts of line input that every platform shares: the echo of the line.
#include "console/line_input.h"

#include <algorithm>

#include "console/console.h"
#include "console/loop.h"

namespace console {

namespace {

// The echo of `editor`'s line, and of the syllable being composed after it.
void draw_echo(Field field, const LineEditor& editor, const std::string& preedit) {
    const int preedit_cells = preedit.empty() ? 0 : kPreeditCells;
    const LineEditor::Tail tail = editor.tail(field.width - preedit_cells);
    const int used = tail.width + preedit_cells;
    const std::string blanks(static_cast<std::size_t>(std::max(field.width - used, 0)), ' ');
    DrawStep hold;
    set_cursor_rest(field.x + used, field.y);
    set_cursor(field.x, field.y);
    write_raw(tail.text.data(), tail.text.size());
    // Marked as input methods mark it.
    set_underline(true);
    write_raw(preedit.data(), preedit.size());
    set_underline(false);
    write_raw(blanks.data(), blanks.size());
}

// Feeds `cp949` to `editor` as typed text. Control bytes (Enter, Backspace,
// Esc) would be keys, not text: no line holds them.
void feed_text(LineEditor& editor, std::string_view cp949) {
    for (char c : Converter("CP949", terminal_encoding()).convert(cp949)) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x20 && byte != 0x7f) editor.feed(byte);
    }
}

// Characters of a CP949 text: a lead byte and its trail are one.
int cp949_characters(std::string_view cp949) {
    int n = 0;
    for (std::size_t i = 0; i < cp949.size(); ++i, ++n) {
        if (is_cp949_lead(static_cast<std::uint8_t>(cp949[i])) && i + 1 < cp949.size()) ++i;
    }
    return n;
}

}  // namespace

void LineInput::draw(Field field) const {
    const std::string none;
    draw_echo(field, editor_, composer_ ? composer_->preedit() : none);
}

void LineInput::draw_line(Field field, std::string_view cp949) const {
    LineEditor shown = editor_;
    shown.clear();
    feed_text(shown, cp949);
    draw_echo(field, shown, {});
}

void LineInput::add(std::string_view keys) {
    if (keys.empty()) return;
    if (!first_key_) first_key_ = std::chrono::steady_clock::now();
    read_starts_.push_back(kept_.size());
    kept_ += keys;
}

std::optional<LineRead> LineInput::next_line() {
    std::size_t used = 0;
    bool enter = false;
    while (used < kept_.size() && !enter) {
        if (!read_starts_.empty() && read_starts_.front() == used) {
            read_starts_.pop_front();
            new_read_ = true;
        }
        const auto byte = static_cast<std::uint8_t>(kept_[used++]);
        if (new_read_ && byte != '\r' && byte != '\n') {
            ++reads_in_line_;
            new_read_ = false;
        }
        enter = feed_key(editor_, composer_.get(), byte);
    }
    kept_.erase(0, used);
    for (std::size_t& start : read_starts_) start -= used;
    if (!enter) return std::nullopt;
    LineRead read{to_cp949_.convert(editor_.take_line()), *first_key_};
    read.burst = reads_in_line_ <= 1 && cp949_characters(read.line) >= 2;
    // What came after the Enter starts the next line, as part of the read
    // it came in.
    reads_in_line_ = 0;
    new_read_ = true;
    first_key_.reset();
    if (!kept_.empty()) first_key_ = std::chrono::steady_clock::now();
    return read;
}

std::string LineInput::typed() {
    std::string text = editor_.text();
    if (composer_) text += composer_->preedit();
    return to_cp949_.convert(text);
}

void LineInput::drop() {
    editor_.clear();
    if (composer_) composer_->reset();
    kept_.clear();
    read_starts_.clear();
    reads_in_line_ = 0;
    first_key_.reset();
}

void LineInput::set_line(std::string_view cp949) {
    editor_.clear();
    if (composer_) composer_->reset();
    feed_text(editor_, cp949);
}

std::optional<LineRead> read_line(LineInput& input, Field field,
                                  const std::function<void()>& on_first_key) {
    std::optional<LineRead> line = input.next_line();
    bool touched = false;
    bool escaped = false;
    while (!line && !escaped && !input_ended()) {
        input.draw(field);
        const auto pause = escape_deadline(input.in_escape());
        const Turn turn = next_turn(Keys::take, {}, pause);
        input.add(turn.keys);
        if (turn.timed_out && input.in_escape()) input.end_escape();
        if (!touched && !turn.keys.empty() && on_first_key) {
            DrawStep step;
            on_first_key();
        }
        touched = touched || !turn.keys.empty();
        line = input.next_line();
        escaped = input.escape_pending();
    }
    DrawStep step;
    if (line) {
        input.draw_line(field, line->line);
    } else {
        input.draw(field);
    }
    clear_cursor_rest();
    return line;
}

}  // namespace console
