// A mode's matches into the player's history, and what the history gives
// back to the screens: the best 타수 under a result, and the practice rival's
// speed when the player names none.
#pragma once

#include <optional>
#include <string>

#include "duel/match.h"
#include "shell/history.h"

namespace shell {

// The record of a match that ended at `time` (seconds since 1970, UTC).
MatchRecord record_of(const duel::MatchResult& result, PlayMode mode, std::string rival,
                      std::int64_t time);

// The notes a mode gives its matches when it keeps the history at `path`
// ("" keeps none): once a result stands, its match is appended and the line
// under it names the best 타수 so far, marked when this match set it; a match
// that could not be recorded says so, and why, in its place. `board` goes
// under the player's name, as it is.
duel::MatchNotes recording_notes(const std::string& path, PlayMode mode, std::string rival,
                                 std::string board = {});

// The practice rival's speed with none given: the player's recent level from
// the history at `path`, or the usual speed without one. The board's line
// that says so when the history chose (CP949) goes to `board`.
int practice_speed_from(const std::string& path, std::string& board);

}  // namespace shell
