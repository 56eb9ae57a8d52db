#include "console/screen.h"

#include <algorithm>
#include <cstdint>

#include "console/text_scan.h"

namespace console {

Screen::Screen(int cols, int rows, Framing framing)
    : cols_(cols),
      rows_(rows),
      framing_(framing),
      cells_(static_cast<std::size_t>(cols) * static_cast<std::size_t>(rows)),
      shown_(cells_.size()),
      drawn_(static_cast<std::size_t>(rows)) {}

void Screen::clear() {
    cells_.assign(cells_.size(), Cell{});
    shown_.assign(shown_.size(), Cell{});  // the erase is presented
    for (int y : drawn_rows_) drawn_[static_cast<std::size_t>(y)] = Span{};
    drawn_rows_.clear();
    cleared_ = true;
    clear_attr_ = attr_;
    x_ = 0;
    y_ = 0;
}

void Screen::move_to(int x, int y) {
    x_ = x;
    y_ = y;
}

void Screen::put(std::string_view text) {
    Utf8Decoder utf8;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<std::uint8_t>(text[i]);
        if (b < 0x20 || b == 0x7F) continue;
        if (framing_ == Framing::double_byte) {
            if (b < 0x80) {
                put_char(text.substr(i, 1), 1);
            } else if (is_cp949_lead(b) && i + 1 < text.size() &&
                       is_cp949_trail(static_cast<std::uint8_t>(text[i + 1]))) {
                put_char(text.substr(i++, 2), 2);
            } else {
                put_char("?", 1);  // what the terminal could not frame as we do
            }
            continue;
        }
        switch (utf8.feed(b)) {
            case Utf8Decoder::Step::more:
                break;
            case Utf8Decoder::Step::done:
                put_char(utf8.bytes(), cell_width(utf8.code()));
                break;
            case Utf8Decoder::Step::broken:
                --i;  // the byte starts afresh
                [[fallthrough]];
            case Utf8Decoder::Step::malformed:
                put_char("?", 1);
                break;
        }
    }
    if (utf8.in_char()) put_char("?", 1);  // cut off at the end
}

void Screen::set(int x, const Cell& c) {
    cells_[index(x, y_)] = c;
    Span& span = drawn_[static_cast<std::size_t>(y_)];
    if (span.from == span.to) {
        drawn_rows_.push_back(y_);
        span = Span{x, x + 1};
    } else {
        span.from = std::min(span.from, x);
        span.to = std::max(span.to, x + 1);
    }
}

void Screen::put_char(std::string_view bytes, int width) {
    if (y_ < 0 || y_ >= rows_ || x_ < 0) return;
    // A mark of no width is not kept: no text of the program has one, and
    // the line editor drops those that are typed.
    if (width == 0) return;
    if (x_ + width > cols_) {
        x_ += width;
        return;
    }
    // Half of a wide character that is written over leaves a blank.
    if (cell(x_, y_).right_half) set(x_ - 1, Cell{" ", cell(x_ - 1, y_).attr});
    const int end = x_ + width;
    if (end < cols_ && cell(end, y_).right_half) set(end, Cell{" ", cell(end, y_).attr});
    set(x_, Cell{std::string(bytes), attr_});
    if (width == 2) set(x_ + 1, Cell{std::string(), attr_, true});
    x_ = end;
}

Screen::Changes Screen::take_changes() {
    Changes changes{cleared_, clear_attr_, {}};
    cleared_ = false;
    std::sort(drawn_rows_.begin(), drawn_rows_.end());
    for (int y : drawn_rows_) {
        Span& span = drawn_[static_cast<std::size_t>(y)];
        take_row(y, span, changes.runs);
        span = Span{};
    }
    drawn_rows_.clear();
    return changes;
}

// The characters of row `y` within `span` that differ from what the terminal
// was shown, a wide one with its right half, joined into runs.
void Screen::take_row(int y, Span span, std::vector<Run>& runs) {
    // A span never begins at the right half of a character: the character
    // was drawn with it.
    Run* run = nullptr;
    for (int x = span.from; x < span.to; ++x) {
        const int width = x + 1 < cols_ && cell(x + 1, y).right_half ? 2 : 1;
        bool changed = false;
        for (int i = 0; i < width; ++i) {
            const std::size_t at = index(x + i, y);
            changed = changed || cells_[at] != shown_[at];
        }
        const Cell& c = cell(x, y);
        if (!changed || c.text.empty()) {
            run = nullptr;
            x += width - 1;
            continue;
        }
        if (run == nullptr || run->attr != c.attr) {
            runs.push_back(Run{x, y, 0, c.attr, {}});
            run = &runs.back();
        }
        run->text += c.text;
        run->cells += width;
        for (int i = 0; i < width; ++i) shown_[index(x + i, y)] = cells_[index(x + i, y)];
        x += width - 1;
    }
}

void Screen::invalidate() {
    cleared_ = true;
    clear_attr_ = kGrey;
    shown_.assign(shown_.size(), Cell{});
    drawn_rows_.clear();
    for (int y = 0; y < rows_; ++y) {
        drawn_[static_cast<std::size_t>(y)] = Span{0, cols_};
        drawn_rows_.push_back(y);
    }
}

}  // namespace console
