// One match of the duel, from the board standing on the screen to the result.
#pragma once

namespace duel {

// Which mode plays the match: it decides only whether a won match keeps its
// score for the next one (joining does, hosting does not).
enum class Mode { hosting, joining };

// Plays one match on a freshly drawn board (draw_sea, draw_board) with the
// peer at the other end of `peer`, a connected socket whose receiver is
// already running. A rival who leaves (the connection ends) loses the match:
// the board says so under the result. Returns after the result has stood for
// three seconds and the screen has been cleared; the mode then makes a new
// connection.
void play_match(int peer, Mode mode);

}  // namespace duel
