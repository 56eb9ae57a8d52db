// The program's own copy of what it has drawn, cell by cell, kept by a
// console that draws on a terminal: a terminal that is made smaller cuts
// off what no longer fits, and when it grows again only this copy can draw
// the whole screen again (menu, board, words, field) as it stood.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "console/line_editor.h"

namespace console {

class ScreenCopy {
  public:
    struct Cell {
        std::string text;  // in the terminal's encoding; empty: the right half of a wide character
        Attr attr;
    };

    ScreenCopy(int cols, int rows, Framing framing);

    // Blanks on black everywhere, the cursor home.
    void clear();
    void move_to(int x, int y);
    void set_attr(Attr attr) { attr_ = attr; }
    // Text in the terminal's encoding at the cursor, in the current
    // attribute, moving the cursor on. Escape sequences in it are skipped;
    // what would fall past the right edge is not kept.
    void put(std::string_view text);

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    const Cell& cell(int x, int y) const { return cells_[index(x, y)]; }
    int x() const { return x_; }
    int y() const { return y_; }
    Attr attr() const { return attr_; }

  private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(cols_) +
               static_cast<std::size_t>(x);
    }
    void put_char(std::string_view bytes, int width);

    int cols_;
    int rows_;
    Framing framing_;
    std::vector<Cell> cells_;
    int x_ = 0;
    int y_ = 0;
    Attr attr_ = kGrey;
};

}  // namespace console
