#include "duel/board.h"

#include <cstring>
#include <string>

#include "duel/random.h"
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

constexpr int kSeaCol = 7;  // the first of the 50 sea positions
constexpr int kSeaPositions = 50;

void draw_rival_name() {
    const char* name = name_table[next_random() % 7];  // never the eighth name
    if (std::strlen(name) == 2) {
        // One syllable stands where it would stand centred, with its blanks
        // after it only.
        console::print_at_grid(52, 2, (std::string(name) + "    ").c_str());
    } else {
        console::print_at_grid(51, 2, centred(name, 8).c_str());
    }
}

// A fresh random attribute for one block: 9 to 15, the bright colours.
Attr random_block_attr() { return static_cast<Attr>(9 + next_random() % 7); }

}  // namespace

std::string centred(const char* word, int cells) {
    const int blanks = cells - static_cast<int>(std::strlen(word));
    if (blanks < 0 || blanks % 2 != 0) return {};
    const std::string side(static_cast<std::size_t>(blanks / 2), ' ');
    return side + word + side;
}

Attr draw_block(int col, int row) {
    console::DrawStep step;
    const Attr attr = random_block_attr();
    console::set_color(attr);
    console::print_at_grid(col, row, kBlock);
    return attr;
}

void draw_sea() {
    console::DrawStep step;
    for (int i = 0; i < kSeaPositions; ++i) {
        console::set_color(console::kSea);
        console::print_at_grid(kSeaCol + i, kSeaRow, next_random() % 6 == 0 ? " " : "~");
    }
    console::set_color(console::kGrey);
}

Towers draw_board(int rival_height) {
    console::DrawStep step;
    Towers towers;
    console::print_at_grid(7, 1, kNameBoxTop);
    console::print_at_grid(7, 3, kNameBoxBottom);
    console::print_at_grid(29, 2, kScoreLabel);
    console::print_at_grid(18, 37, kOwnLabel);
    console::print_at_grid(39, 37, kRivalLabel);
    for (int k = 0; k < 5; ++k) console::print_at_grid(12 + 8 * k, 42, kSlotFrame);
    console::print_at_grid(27, 47, kInputBoxTop);
    console::print_at_grid(27, 49, kInputBoxBottom);

    for (int n = 1; n <= kStartHeight; ++n)
        towers.own.push_back(draw_block(kOwnTowerCol, kSeaRow - n));
    console::set_color(console::kGrey);

    for (int n = 1; n <= rival_height; ++n) {
        // The target box sits on the top block of a starting tower, in that
        // block's colour.
        console::DrawStep step;
        towers.rival.push_back(draw_block(kRivalTowerCol, kSeaRow - n));
        if (n == kStartHeight) console::print_at_grid(kTargetBoxCol, kSeaRow - n, kTargetBox);
    }
    console::set_color(console::kGrey);

    console::print_at_grid(50, 1, kNameBoxTop);
    console::print_at_grid(50, 3, kNameBoxBottom);
    draw_rival_name();
    console::set_cursor_grid(0, 0);
    return towers;
}

void draw_target_word(int length, int index, int row) {
    if (index < 0 || index >= kWordCount) return;
    const char* word = word_table[index];
    if (length != static_cast<int>(std::strlen(word))) return;
    console::print_at_grid(kTargetWordCol, row, centred(word, 8).c_str());
}

}  // namespace duel
