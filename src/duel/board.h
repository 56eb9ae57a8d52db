// The duel board: the sea, both towers on it, the target box on the rival's
// tower, the name boxes, the score label, the tower labels, the slot frames
// and the input box.
//
// Positions are grid (col, row), cell (3 * col, row). Each function below is
// one console drawing step.
#pragma once

#include <string>
#include <vector>

#include "console/console.h"

namespace duel {

// Both towers stand on the sea row; block n (n = 1 at the bottom) of either
// tower is on row kSeaRow - n.
inline constexpr int kSeaRow = 36;
inline constexpr int kOwnTowerCol = 16;
inline constexpr int kRivalTowerCol = 37;
// The target box sits on the rival's top block: its " (" at kTargetBoxCol,
// its ")" at kTargetBoxRightCol, the target word between them.
inline constexpr int kTargetBoxCol = 38;
inline constexpr int kTargetBoxRightCol = 42;
inline constexpr int kTargetWordCol = 39;  // cells 117 to 124, inside the target box

// One block of a tower (18 cells).
inline constexpr char kBlock[] = "  (              )";
// The sides of the target box, drawn alone when the box moves to another
// block.
inline constexpr char kTargetBoxLeft[] = " (";
inline constexpr char kTargetBoxRight[] = ")";

// A word or name of the tables centred in `cells` cells by its byte length
// (they are Hangul only: each byte is a cell), with blanks either side;
// empty when it does not fit evenly.
std::string centred(const char* word, int cells);

// Every tower starts with this many blocks.
inline constexpr int kStartHeight = 3;

// The attribute of each block of both towers, from the bottom up: how many
// blocks stand is the size.
struct Towers {
    std::vector<console::Attr> own;
    std::vector<console::Attr> rival;
};

// A block at grid (col, row) in a fresh random attribute, which stays in
// force afterwards and is returned. Takes one random value.
console::Attr draw_block(int col, int row);

// The sea row: 50 positions at cells 21, 24, ... 168 of row 36, each water
// ("~") or, for about one in six, a gap. Takes 50 random values. Leaves
// attribute 7 in force.
void draw_sea();

// Everything else of a fresh board: the frames and labels, the own tower of 3
// blocks, the rival tower of `rival_height` blocks with the target box on its
// third block, and a random rival name. Expects a cleared screen and
// attribute 7 in force (draw_sea leaves it so). Takes 3 + rival_height + 1
// random values. Leaves attribute 7 in force and the cursor at grid (0, 0).
// Returns both towers.
Towers draw_board(int rival_height = kStartHeight);

// Prints word `index` of word_table into the target box on `row`, centred in
// cells 117 to 124 by its byte length `length` (4, 6 or 8), in the attribute
// in force. A length that is not the word's, or an index outside the table,
// prints nothing.
void draw_target_word(int length, int index, int row);

}  // namespace duel
