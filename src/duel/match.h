// One match of the duel, from the board to the result.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "duel/typing_stats.h"

namespace duel {

// Which mode plays the match: it decides whether a won match keeps its score
// for the next one (joining does, hosting does not), and which side of the
// connection is the referee when both sides speak verdicts (the host).
enum class Mode { hosting, joining };

// A rival who has left (the connection ended) leaves the match to the one
// who stayed: it counts as won. A player who leaves (Esc, twice) goes back to
// the menu: the match has no result and is not recorded.
enum class Outcome { won, lost, rival_left, player_left };

// What a match came to, for the mode that plays the next one and for a
// record of the player's matches.
struct MatchResult {
    Outcome outcome = Outcome::won;
    int score = 0;  // the player's score when the match ended
    // How the player typed: keystrokes, words entered and words that hit,
    // the first key and the last Enter.
    TypingStats stats;
    // Who played the other side: a joiner of ours (hosting), the host we
    // joined (joining), or the practice rival and its keystrokes a minute.
    Mode mode = Mode::hosting;
    std::optional<int> practice_speed;
    int seconds = 0;  // how long the match ran, from its board to its end
};

// What a mode adds to a match's screens, on rows the board and the result
// leave empty (CP949): a line under the player's name while the match runs,
// and lines under the result's figures, which `result` gives once the
// result stands (the record of the player's matches, say).
struct MatchNotes {
    std::string board;
    std::function<std::vector<std::string>(const MatchResult&)> result;
    // One more line under the result, below the countdown: this run's
    // matches against the same rival, say.
    std::function<std::string(const MatchResult&)> tally;
};

// From now on matches play no music (--no-music).
void play_without_music();

// The score the next match starts from: a joiner keeps the score of a match
// it did not lose; every other match starts from 0.
int carried_score(const MatchResult& result);

// Plays one match with the peer at the other end of `peer`, a connected
// socket (or -1 for a connection that failed: the rival then counts as gone)
// on a cleared screen, starting from `score`: draws the sea and the board,
// and plays, in the program's loop, until a tower decides, the host's
// verdict comes, or the rival leaves (the board then says so under the
// result), or the player leaves. Returns after the result has stood for
// three seconds (at once when the player left), and the screen has been
// cleared; the connection has ended or is left to the
// caller to close. The mode then makes a new connection. `notes` adds the
// mode's lines.
MatchResult play_match(int peer, Mode mode, int score = 0,
                       std::optional<int> practice_speed = std::nullopt,
                       const MatchNotes& notes = {});

}  // namespace duel
