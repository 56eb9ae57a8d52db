#include "console/hangul_composer.h"

namespace console {

namespace {

constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kDelete = 0x7f;

bool is_ascii_letter(std::uint8_t b) { return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'); }

// Committed text has no Enter in it, so feeding it never ends the line.
void feed_text(LineEditor& editor, const std::string& text) {
    for (char c : text) editor.feed(static_cast<std::uint8_t>(c));
}

}  // namespace

bool feed_key(LineEditor& editor, HangulComposer* composer, std::uint8_t byte) {
    // Pasted text is no letter keys.
    if (composer == nullptr || !editor.between_characters() || editor.pasting())
        return editor.feed(byte);
    if (is_ascii_letter(byte)) {
        feed_text(editor, composer->letter(static_cast<char>(byte)));
        return false;
    }
    if ((byte == kBackspace || byte == kDelete) && composer->backspace()) return false;
    feed_text(editor, composer->commit());
    return editor.feed(byte);
}

}  // namespace console
