// One match of the duel, from the board to the result.
#pragma once

namespace duel {

// Which mode plays the match: it decides whether a won match keeps its score
// for the next one (joining does, hosting does not), and which side of the
// connection is the referee when both sides speak verdicts (the host).
enum class Mode { hosting, joining };

// Plays one match with the peer at the other end of `peer`, a connected
// socket (or one whose connection failed: the rival then counts as gone) on
// a cleared screen: starts the connection's receiver, draws the sea and the
// board, and plays until a tower decides, the host's verdict comes, or the
// rival leaves (the board then says so under the result). Returns after the
// result has stood for three seconds, the connection's receiver has stopped
// and the screen has been cleared; the mode then makes a new connection.
void play_match(int peer, Mode mode);

}  // namespace duel
