#include "duel/board.h"

#include <cstring>

#include "duel/random.h"
#include "duel/state.h"
#include "duel/tables.h"

namespace duel {

namespace {

using console::Attr;

// Box-drawing characters are two CP949 bytes and one cell each:
// A6 AE ┏, A6 AF ┓, A6 B1 ┗, A6 B0 ┛, A6 A1 ─. The boxes are open frames:
// only their top and bottom lines are drawn.

// "┏───────────┓" (13 cells)
constexpr char kNameBoxTop[] =
    "\xA6\xAE"
    "\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xAF";
// "┗───────────┛"
constexpr char kNameBoxBottom[] =
    "\xA6\xB1"
    "\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xB0";
// "┏──────────────────┓" (20 cells)
constexpr char kInputBoxTop[] =
    "\xA6\xAE"
    "\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xAF";
// "┗──────────────────┛"
constexpr char kInputBoxBottom[] =
    "\xA6\xB1"
    "\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xB0";

// The score value follows at grid (31, 2), on the label's trailing space.
constexpr char kScoreLabel[] = "\xC1\xA1\xBC\xF6 : ";  // "점수 : "
constexpr char kOwnLabel[] = "[player]";
constexpr char kRivalLabel[] = "[BOT_AI]";
constexpr char kSlotFrame[] = " (            )";
constexpr char kTargetBox[] = " (          )";

constexpr int kTargetWordCol = 39;  // cells 117 to 124, inside the target box
constexpr int kSeaCol = 7;          // the first of the 50 sea positions
constexpr int kSeaPositions = 50;
constexpr int kStartHeight = 3;  // the own tower at the start of a match

void draw_rival_name() {
    const char* name = name_table[next_random() % 7];  // never the eighth name
    console::DrawStep step;
    switch (std::strlen(name)) {
        case 8:
            console::set_cursor_grid(51, 2);
            console::print_text("%s", name);
            break;
        case 6:
            console::set_cursor_grid(51, 2);
            console::print_text(" %s ", name);
            break;
        case 4:
            console::set_cursor_grid(51, 2);
            console::print_text("  %s  ", name);
            break;
        case 2:
            console::set_cursor_grid(52, 2);
            console::print_text("%s    ", name);
            break;
        default:
            break;
    }
}

// A fresh random attribute for one block: 9 to 15, the bright colours.
Attr random_block_attr() { return static_cast<Attr>(9 + next_random() % 7); }

}  // namespace

void print_at(int col, int row, const char* text) {
    console::DrawStep step;
    console::set_cursor_grid(col, row);
    console::print_text("%s", text);
}

void draw_block(int col, int row) {
    console::DrawStep step;
    console::set_color(random_block_attr());
    console::set_cursor_grid(col, row);
    console::print_text("%s", kBlock);
}

void draw_sea() {
    for (int i = 0; i < kSeaPositions; ++i) {
        console::DrawStep step;
        console::set_color(console::kSea);
        console::set_cursor_grid(kSeaCol + i, kSeaRow);
        console::print_text("%s", next_random() % 6 == 0 ? " " : "~");
    }
    console::set_color(console::kGrey);
}

void draw_board() {
    print_at(7, 1, kNameBoxTop);
    print_at(7, 3, kNameBoxBottom);
    print_at(29, 2, kScoreLabel);
    print_at(18, 37, kOwnLabel);
    print_at(39, 37, kRivalLabel);
    for (int k = 0; k < 5; ++k) print_at(12 + 8 * k, 42, kSlotFrame);
    print_at(27, 47, kInputBoxTop);
    print_at(27, 49, kInputBoxBottom);

    for (int n = 1; n <= kStartHeight; ++n) draw_block(kOwnTowerCol, kSeaRow - n);
    console::set_color(console::kGrey);

    for (int n = 1; n <= rival_height; ++n) {
        // The target box sits on the top block of a starting tower, in that
        // block's colour.
        console::DrawStep step;
        draw_block(kRivalTowerCol, kSeaRow - n);
        if (n == kStartHeight) print_at(kTargetBoxCol, kSeaRow - n, kTargetBox);
    }
    console::set_color(console::kGrey);

    print_at(50, 1, kNameBoxTop);
    print_at(50, 3, kNameBoxBottom);
    draw_rival_name();
    console::set_cursor_grid(0, 0);
}

void draw_target_word(int length, int index, int row) {
    if (index < 0 || index >= kWordCount) return;
    const char* word = word_table[index];
    console::DrawStep step;
    switch (length) {
        case 8:
            console::set_cursor_grid(kTargetWordCol, row);
            console::print_text("%s", word);
            break;
        case 6:
            console::set_cursor_grid(kTargetWordCol, row);
            console::print_text(" %s ", word);
            break;
        case 4:
            console::set_cursor_grid(kTargetWordCol, row);
            console::print_text("  %s  ", word);
            break;
        default:
            break;
    }
}

}  // namespace duel
