// What each platform's console file provides to the shared console code.
#pragma once

#include <string>

namespace console {

// Draws CP949 text at the cursor in the current colour, as one drawing step.
void write_cp949(const std::string& text);

// A console drawn on a terminal (POSIX) keeps a copy of what it drew, for a
// terminal that changes size. hide_board shows `message` (CP949 lines
// separated by '\n') in place of the board, which goes on being drawn into
// the copy only; show_board draws the whole copy on the terminal again.
void hide_board(const std::string& message);
void show_board();

}  // namespace console
