// The state of one match and its rules, as play_match drives them: the
// towers, the words dealt, the verdicts, the typed words held back. Each
// change is drawn on the console as it is made, and what the player's words
// do goes to the peer. Apart from play_match, only the match's fuzz target
// drives it.
#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <string>

#include "duel/board.h"
#include "duel/match.h"
#include "duel/typed_word.h"
#include "duel/typing_stats.h"
#include "net/peer_events.h"
#include "net/peer_link.h"

namespace duel {

inline constexpr int kWinHeight = 12;
inline constexpr int kSlots = 5;

// The match goes on until its outcome is known.
using Progress = std::optional<Outcome>;
inline constexpr Progress kRunning = std::nullopt;

struct Match {
    Match(net::PeerLink& peer_link, Mode match_mode, int start_score, Towers start_towers)
        : peer(peer_link), mode(match_mode), score(start_score), towers(std::move(start_towers)) {}

    net::PeerLink& peer;
    Mode mode;
    int score;
    Towers towers;         // how many blocks stand, and in which colours
    int ran[kSlots] = {};  // the slot words
    int target = 0;
    // The peer said hello: between two such sides the host's picture decides
    // the match, and the joiner waits for its verdict.
    bool verdicts = false;
    // Typed words not yet compared: the rest of a line, or words typed while
    // the joiner's picture stood at an end, waiting for the verdict; they
    // count if the events in flight take the picture back into play.
    std::deque<std::string> held;
    TypingStats stats;
    // When the joiner's picture reached the end it still stands at; the
    // verdict is awaited until kVerdictWait after it.
    std::optional<Clock::time_point> picture_ended;
    Clock::time_point started = Clock::now();  // when the board appeared
    // The words marked as beginning with the typed text: the slots, then the
    // target word.
    bool marked[kSlots + 1] = {};
    bool missed = false;  // a word hit nothing since the last look

    int own_height() const { return static_cast<int>(towers.own.size()); }
    int rival_height() const { return static_cast<int>(towers.rival.size()); }
    void deal();
    Progress apply(net::PeerEvent event);
    Progress apply(TypedLine line);
    Progress settle();
    Progress play_held();
    Progress picture() const;
    Progress on_deadline(Clock::time_point now);
    std::optional<Clock::time_point> deadline() const;
    void note_picture(Clock::time_point now);
    void rival_grows();
    void own_loses_block();
    void typed_target();
    void typed_slot(int k);
    bool compare_typed_word(const std::string& word);
    void mark(const std::string& typed);
};

}  // namespace duel
