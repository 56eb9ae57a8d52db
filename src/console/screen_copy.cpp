#include "console/screen_copy.h"

#include <algorithm>
#include <cstdint>

namespace console {

namespace {

constexpr char kEsc = '\x1b';

// The bytes of the character that starts at `text[i]` by UTF-8's lead
// byte; a byte that cannot start one stands alone.
std::size_t utf8_length(std::uint8_t lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

std::uint32_t utf8_code(std::string_view bytes) {
    if (bytes.size() == 1) return static_cast<std::uint8_t>(bytes[0]);
    std::uint32_t cp = static_cast<std::uint8_t>(bytes[0]) & (0x7F >> bytes.size());
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        cp = (cp << 6) | (static_cast<std::uint8_t>(bytes[i]) & 0x3F);
    }
    return cp;
}

// Past an escape sequence that starts at text[i]: CSI runs to its final
// byte, any other sequence is ESC and one byte.
std::size_t skip_escape(std::string_view text, std::size_t i) {
    if (i + 1 < text.size() && text[i + 1] == '[') {
        std::size_t j = i + 2;
        while (j < text.size() && !(text[j] >= 0x40 && text[j] <= 0x7E)) ++j;
        return j + 1;
    }
    return i + 2;
}

}  // namespace

ScreenCopy::ScreenCopy(int cols, int rows, Framing framing)
    : cols_(cols),
      rows_(rows),
      framing_(framing),
      cells_(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows)) {
    clear();
}

void ScreenCopy::clear() {
    for (Cell& c : cells_) c = Cell{" ", kGrey};
    x_ = 0;
    y_ = 0;
}

void ScreenCopy::move_to(int x, int y) {
    x_ = x;
    y_ = y;
}

void ScreenCopy::put(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        if (b == static_cast<std::uint8_t>(kEsc)) {
            i = skip_escape(text, i);
            continue;
        }
        if (b < 0x20 || b == 0x7F) {
            ++i;
            continue;
        }
        std::size_t n = 1;
        int width = 1;
        if (framing_ == Framing::double_byte) {
            if (b >= 0x81 && i + 1 < text.size()) {
                n = 2;
                width = 2;
            }
        } else if (b >= 0x80) {
            n = std::min(utf8_length(b), text.size() - i);
            width = cell_width(utf8_code(text.substr(i, n)));
        }
        put_char(text.substr(i, n), width);
        i += n;
    }
}

void ScreenCopy::put_char(std::string_view bytes, int width) {
    if (y_ < 0 || y_ >= rows_ || x_ < 0) return;
    if (width == 0) {
        // A mark of no width joins the character before it.
        if (x_ > 0 && x_ <= cols_) cells_[index(x_ - 1, y_)].text.append(bytes);
        return;
    }
    if (x_ + width > cols_) {
        x_ += width;
        return;
    }
    // Half of a wide character that is written over leaves a blank.
    Cell& first = cells_[index(x_, y_)];
    if (first.text.empty() && x_ > 0) cells_[index(x_ - 1, y_)].text = " ";
    const int end = x_ + width;
    if (end < cols_ && cells_[index(end, y_)].text.empty()) cells_[index(end, y_)].text = " ";
    first = Cell{std::string(bytes), attr_};
    if (width == 2) cells_[index(x_ + 1, y_)] = Cell{std::string(), attr_};
    x_ = end;
}

}  // namespace console
