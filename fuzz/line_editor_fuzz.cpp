// The word field's line editor, with two-set Hangul composition in front of
// it, on any terminal input. The first byte picks the terminal: UTF-8 or
// CP949, composing letters or not. At every step the line is well formed in
// that encoding, holds no control byte, is as wide as its characters, and
// never longer than its limit; so is every tail of it shown in the field.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "check.h"
#include "console/hangul_composer.h"
#include "console/line_editor.h"

namespace {

using console::Framing;

// The width of `s` counted character by character, or -1 if it is not well
// formed in `framing`.
int width_of(std::string_view s, Framing framing) {
    if (framing == Framing::utf8 && !fuzz::valid_utf8(s)) return -1;
    int width = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            width += 1;
            i += 1;
        } else if (framing == Framing::double_byte) {
            if (i + 1 == s.size() || b == 0x80 || b == 0xFF) return -1;
            const auto t = static_cast<unsigned char>(s[i + 1]);
            if (!((t >= 0x41 && t <= 0x5A) || (t >= 0x61 && t <= 0x7A) || (t >= 0x81 && t <= 0xFE))) {
                return -1;
            }
            width += 2;
            i += 2;
        } else {
            const std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            std::uint32_t cp = b & (0x3F >> (n - 1));
            for (std::size_t k = 1; k < n; ++k) cp = cp << 6 | (s[i + k] & 0x3F);
            width += console::cell_width(cp);
            i += n;
        }
    }
    return width;
}

bool has_control(std::string_view s) {
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f) return true;
    }
    return false;
}

void check_line(std::string_view text, int width, Framing framing) {
    fuzz::check(width_of(text, framing) == width, "well formed and as wide as its characters");
    fuzz::check(!has_control(text), "no control byte in the line");
    fuzz::check(text.size() <= console::LineEditor::kMaxBytes, "within the limit");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const Framing framing = (data[0] & 1) != 0 ? Framing::double_byte : Framing::utf8;
    static const std::unique_ptr<console::HangulComposer> composers[2] = {
        console::make_hangul_composer("UTF-8"), console::make_hangul_composer("CP949")};
    console::HangulComposer* composer =
        (data[0] & 2) != 0 ? composers[framing == Framing::double_byte].get() : nullptr;
    if (composer != nullptr) composer->reset();

    console::LineEditor editor(framing);
    for (std::size_t i = 1; i < size; ++i) {
        const bool enter = console::feed_key(editor, composer, data[i]);
        check_line(editor.text(), editor.width(), framing);
        if (composer != nullptr) {
            const std::string& preedit = composer->preedit();
            fuzz::check(preedit.empty() || width_of(preedit, framing) == console::kPreeditCells,
                        "the syllable being composed is one wide character");
        }
        const int cells = data[i] % 48;
        const console::LineEditor::Tail tail = editor.tail(cells);
        fuzz::check(tail.width <= cells, "the tail fits");
        fuzz::check(std::string_view(editor.text()).ends_with(tail.text), "the tail ends the line");
        check_line(tail.text, tail.width, framing);
        if (enter) editor.take_line();
    }
    return 0;
}
