// The console's model of the screen, cell by cell: every primitive draws
// into it, and at the end of each drawing step the console presents what the
// step drew to the terminal from it. The model keeps, row by row, the span of
// cells drawn since the last present, and presenting looks at those spans
// only: a step costs what it drew, and one that drew nothing costs nothing.
// A terminal that was cut by a resize, or whose contents are unknown, is
// given the whole model again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "console/line_editor.h"

namespace console {

class Screen {
  public:
    struct Cell {
        // In the terminal's encoding; empty: erased (nothing written since
        // the screen was cleared), or the right half of a wide character.
        std::string text;
        Attr attr = kGrey;
        bool right_half = false;
        bool operator==(const Cell&) const = default;
    };

    // Cells of one attribute drawn next to each other on one row.
    struct Run {
        int x;
        int y;
        int cells;
        Attr attr;
        std::string text;
        bool operator==(const Run&) const = default;
    };

    // What a drawing step changed, for the terminal to be shown.
    struct Changes {
        bool cleared = false;  // the screen was erased first, in clear_attr
        Attr clear_attr = kGrey;
        std::vector<Run> runs;  // row by row, left to right
    };

    Screen(int cols, int rows, Framing framing);

    // Erases every cell; the cursor goes home.
    void clear();
    void move_to(int x, int y);
    void set_attr(Attr attr) { attr_ = attr; }
    Attr attr() const { return attr_; }
    // Text in the terminal's encoding at the cursor, in the current
    // attribute, moving the cursor on. Control bytes are skipped; what would
    // fall past the right edge is not kept.
    void put(std::string_view text);
    void hide_cursor() { cursor_hidden_ = true; }

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    const Cell& cell(int x, int y) const { return cells_[index(x, y)]; }
    int x() const { return x_; }
    int y() const { return y_; }
    bool cursor_hidden() const { return cursor_hidden_; }

    // What the terminal has not been shown yet: the cells drawn since the
    // last call that differ from what it was shown then.
    Changes take_changes();
    // The terminal shows nothing of the model any more: the next changes
    // are the whole screen, erased first.
    void invalidate();

  private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(x);
    }
    // The cells of one row drawn since the last take_changes, [from, to);
    // none while from == to.
    struct Span {
        int from = 0;
        int to = 0;
    };
    void put_char(std::string_view bytes, int width);
    void set(int x, const Cell& c);
    void take_row(int y, Span span, std::vector<Run>& runs);

    int cols_;
    int rows_;
    Framing framing_;
    std::vector<Cell> cells_;
    // As take_changes last handed them over: equal to cells_ wherever no
    // span has been drawn since.
    std::vector<Cell> shown_;
    std::vector<Span> drawn_;      // one per row
    std::vector<int> drawn_rows_;  // the rows with a span, in the order first drawn
    bool cleared_ = false;
    Attr clear_attr_ = kGrey;
    int x_ = 0;
    int y_ = 0;
    Attr attr_ = kGrey;
    bool cursor_hidden_ = false;
};

}  // namespace console
