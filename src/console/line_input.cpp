// The parts of line input that every platform shares: the echo of the line.
#include "console/line_input.h"

#include "console/console.h"

namespace console {

void LineInput::draw(Field field) const {
    LineEditor::Tail tail = editor_.tail(field.width);
    std::string text(tail.text);
    if (field.width > tail.width) {
        text.append(static_cast<std::size_t>(field.width - tail.width), ' ');
    }
    DrawStep hold;
    set_cursor_rest(field.x + tail.width, field.y);
    set_cursor(field.x, field.y);
    write_raw(text.data(), text.size());
}

void LineInput::drop_typed() {
    editor_.clear();
    kept_.clear();
}

}  // namespace console
