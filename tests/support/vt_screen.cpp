#include "support/vt_screen.h"

#include <vterm.h>

#include <cstdio>

#include "console/line_editor.h"

namespace taja::test {

int VtScreen::on_settermprop(int prop, void* val, void* user) {
    auto* self = static_cast<VtScreen*>(user);
    auto* value = static_cast<VTermValue*>(val);
    if (prop == VTERM_PROP_CURSORVISIBLE) self->cursor_visible_ = value->boolean;
    if (prop == VTERM_PROP_ALTSCREEN) self->altscreen_ = value->boolean;
    return 1;
}

VtScreen::VtScreen(int cols, int rows) : cols_(cols), rows_(rows) {
    vt_ = vterm_new(rows, cols);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    static const VTermScreenCallbacks callbacks = [] {
        VTermScreenCallbacks c{};
        c.settermprop = [](VTermProp prop, VTermValue* val, void* user) {
            return on_settermprop(prop, val, user);
        };
        return c;
    }();
    vterm_screen_set_callbacks(screen_, &callbacks, this);
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_reset(screen_, 1);
}

VtScreen::~VtScreen() { vterm_free(vt_); }

void VtScreen::feed(std::string_view bytes) {
    vterm_input_write(vt_, bytes.data(), bytes.size());
    vterm_screen_flush_damage(screen_);
}

void VtScreen::resize(int cols, int rows) {
    cols_ = cols;
    rows_ = rows;
    vterm_set_size(vt_, rows, cols);
}

Cell VtScreen::cell(int x, int y) const {
    Cell c;
    if (x < 0 || y < 0 || x >= cols_ || y >= rows_) return c;
    VTermScreenCell vc;
    vterm_screen_get_cell(screen_, VTermPos{y, x}, &vc);
    if (vc.chars[0] == 0xFFFFFFFF) {  // right half of a wide character
        c.width = 0;
        return c;
    }
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && vc.chars[i] != 0; ++i) {
        console::append_utf8(c.text, vc.chars[i]);
    }
    c.width = vc.width;
    c.underline = vc.attrs.underline != 0;
    if (VTERM_COLOR_IS_DEFAULT_FG(&vc.fg)) {
        c.fg = -1;
    } else if (VTERM_COLOR_IS_INDEXED(&vc.fg)) {
        c.fg = vc.fg.indexed.idx;
    } else {
        c.fg = -2;  // an RGB colour: the program never sets one
    }
    return c;
}

std::string VtScreen::text(int x, int y, int n) const {
    std::string out;
    for (int i = 0; i < n; ++i) {
        Cell c = cell(x + i, y);
        if (c.width == 0) continue;
        out += c.text.empty() ? " " : c.text;
    }
    return out;
}

std::string VtScreen::row(int y) const {
    std::string out = text(0, y, cols_);
    out.erase(out.find_last_not_of(' ') + 1);
    return out;
}

CursorPos VtScreen::cursor() const {
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return CursorPos{pos.col, pos.row};
}

std::string VtScreen::dump() const {
    std::string out;
    char label[16];
    for (int y = 0; y < rows_; ++y) {
        std::string r = row(y);
        if (r.empty()) continue;
        std::snprintf(label, sizeof label, "%2d|", y);
        out += label + r + "\n";
    }
    CursorPos c = cursor();
    std::snprintf(label, sizeof label, "%d,%d", c.x, c.y);
    out += std::string("cursor ") + label + (cursor_visible_ ? " visible" : " hidden") +
           (altscreen_ ? ", alternate screen\n" : ", main screen\n");
    return out;
}

}  // namespace taja::test
