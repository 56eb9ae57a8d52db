// A terminal emulator (libvterm) that reads what the program writes and
// answers what a player would see: each cell's text, width and colour, the
// cursor, and whether the alternate screen is on.
#pragma once

#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

namespace taja::test {

struct Cell {
    std::string text;  // UTF-8; empty for a blank never written, or the right half of a wide char
    int width = 1;     // 2 for a Hangul syllable, 0 for the cell right of it
    int fg = -1;       // palette index 0..15, -1 for the terminal's default colour
    bool underline = false;
};

struct CursorPos {
    int x = 0;
    int y = 0;
};

class VtScreen {
public:
    explicit VtScreen(int cols = 169, int rows = 50);
    ~VtScreen();
    VtScreen(const VtScreen&) = delete;
    VtScreen& operator=(const VtScreen&) = delete;

    void feed(std::string_view bytes);
    void resize(int cols, int rows);

    int cols() const { return cols_; }
    int rows() const { return rows_; }
    Cell cell(int x, int y) const;
    // The text of `n` cells from (x, y), one character per wide cell pair;
    // blank cells read as spaces.
    std::string text(int x, int y, int n) const;
    // The whole row, trailing blanks removed.
    std::string row(int y) const;
    CursorPos cursor() const;
    bool cursor_visible() const { return cursor_visible_; }
    bool altscreen() const { return altscreen_; }
    // Every row that holds something, numbered: for failure messages.
    std::string dump() const;

private:
    static int on_settermprop(int prop, void* val, void* user);

    VTerm* vt_;
    VTermScreen* screen_;
    int cols_;
    int rows_;
    bool cursor_visible_ = true;
    bool altscreen_ = false;
};

}  // namespace taja::test
