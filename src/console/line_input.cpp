// The parts of line input that every platform shares: the echo of the line.
#include "console/line_input.h"

#include <algorithm>

#include "console/console.h"

namespace console {

void LineInput::draw(Field field) const {
    const std::string none;
    const std::string& preedit = composer_ ? composer_->preedit() : none;
    const int preedit_cells = preedit.empty() ? 0 : kPreeditCells;
    const LineEditor::Tail tail = editor_.tail(field.width - preedit_cells);
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

void LineInput::drop_typed() {
    editor_.clear();
    if (composer_) composer_->reset();
    kept_.clear();
    first_key_.reset();
}

void LineInput::set_line(std::string_view cp949) {
    editor_.clear();
    if (composer_) composer_->reset();
    // Control bytes (Enter, Backspace, Esc) would be keys, not text: no line
    // holds them.
    for (char c : Converter("CP949", terminal_encoding()).convert(cp949)) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x20 && byte != 0x7f) editor_.feed(byte);
    }
}

bool LineInput::feed_kept(Field field, LineRead& read) {
    if (!first_key_ && !kept_.empty()) first_key_ = std::chrono::steady_clock::now();
    std::size_t used = 0;
    bool enter = false;
    while (used < kept_.size() && !enter) {
        enter = feed_key(editor_, composer_.get(), static_cast<std::uint8_t>(kept_[used++]));
    }
    kept_.erase(0, used);
    if (!enter || enter_echo_ == EnterEcho::line) draw(field);
    if (enter) {
        read = {ReadStatus::line, to_cp949_.convert(editor_.take_line()), *first_key_};
        first_key_.reset();  // what came after the Enter starts the next line
    }
    return enter;
}

}  // namespace console
