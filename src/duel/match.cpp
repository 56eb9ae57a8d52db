#include "duel/match.h"

#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <variant>

#include "console/console.h"
#include "duel/board.h"
#include "duel/inbox.h"
#include "duel/random.h"
#include "duel/state.h"
#include "duel/tables.h"
#include "duel/typed_word.h"
#include "duel/typing_stats.h"
#include "net/peer_events.h"
#include "net/peer_link.h"
#include "sound/music.h"

namespace duel {

namespace {

constexpr int kStartHeight = 3;
constexpr int kWinHeight = 12;
constexpr int kSlots = 5;
constexpr int kSlotRow = 42;
constexpr int kScoreCol = 31;  // right behind the score label, grid (31, 2)
constexpr int kScoreRow = 2;
constexpr int kResultCol = 28;
constexpr int kResultRow = 10;
constexpr int kLeftRow = 12;   // the rival-has-left message, below the result
constexpr int kStatsRow = 14;  // the player's 타수 and 정확도, below both
constexpr auto kResultPause = std::chrono::milliseconds(3000);
// How long a host waits, after its result, for the joiner to close first.
constexpr auto kPeerCloseWait = std::chrono::milliseconds(2000);

constexpr char kWin[] = "Player   WIN!";
constexpr char kLose[] = "Player   LOSE!";
// 상대가 게임을 떠났습니다.
constexpr char kRivalLeft[] =
    "\xBB\xF3\xB4\xEB\xB0\xA1 \xB0\xD4\xC0\xD3\xC0\xBB \xB6\xB0\xB3\xB5\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char kEraseOwnBlock[] = "                                    ";  // 36 blanks
// 26 blanks: the rival's top block with its target box and target word.
constexpr char kEraseRivalBlock[] = "                          ";

// A rival who has left (the connection ended) leaves the match to the one
// who stayed: it counts as won.
enum class Outcome { running, won, lost, rival_left };

int word_length(int index) { return static_cast<int>(std::strlen(word_table[index])); }

void cursor_to_input() { console::set_cursor_grid(kInputCol, kInputRow); }

// The score, right after the label's colon. Blanks after the number wipe
// whatever a longer earlier number left there ("-10" then "0" must read "0").
void print_score() {
    console::DrawStep step;
    console::set_cursor_grid(kScoreCol, kScoreRow);
    console::print_text("%-11d", score);
}

// A slot word centred in its 10-cell frame interior by its byte length.
void draw_slot_word(int k, int index) {
    console::print_at_grid(13 + 8 * k, kSlotRow, centred(word_table[index], 10).c_str());
}

void draw_target_box(int row) {
    console::DrawStep step;
    console::print_at_grid(kTargetBoxCol, row, kTargetBoxLeft);
    console::print_at_grid(kTargetBoxRightCol, row, kTargetBoxRight);
}

struct Match {
    Match(int peer_sock, Mode match_mode) : peer(peer_sock), mode(match_mode) {}

    int peer;
    Mode mode;
    int own_height = kStartHeight;
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

    void deal();
    Outcome apply(net::PeerEvent event);
    Outcome apply(TypedLine line);
    Outcome settle();
    Outcome play_held();
    Outcome picture() const;
    void rival_grows();
    void own_loses_block();
    void typed_target();
    void typed_slot(int k);
    bool compare_typed_word(const std::string& word);
};

// The five slot words, pairwise different, then the target word, which may
// equal one of them. A score carried from a won match shows from the start.
void Match::deal() {
    for (int k = 0; k < kSlots; ++k) {
        bool repeated;
        do {
            ran[k] = next_random() % kWordCount;
            repeated = false;
            for (int j = 0; j < k; ++j) repeated = repeated || ran[j] == ran[k];
        } while (repeated);
    }
    console::DrawStep step;
    for (int k = 0; k < kSlots; ++k) draw_slot_word(k, ran[k]);
    target = next_random() % kWordCount;
    draw_target_word(word_length(target), target, kSeaRow - kStartHeight);
    if (score != 0) print_score();
}

// What the towers say: a tower at 12, or at 0, decides.
Outcome Match::picture() const {
    if (own_height == kWinHeight || rival_height == 0) return Outcome::won;
    if (own_height == 0 || rival_height == kWinHeight) return Outcome::lost;
    return Outcome::running;
}

// After every change of the towers. A joiner whose host speaks verdicts
// does not end on its own picture: it plays on until the verdict comes.
Outcome Match::settle() {
    Outcome now = picture();
    if (now == Outcome::running || (mode == Mode::joining && verdicts)) return Outcome::running;
    return now;
}

// The rival typed a slot word: a new block on its tower, the old top block
// drawn again over its target box, and the box and word one row higher. A
// tower knocked down to the sea, while the verdict is awaited, has no old
// top to draw again.
void Match::rival_grows() {
    const int h = rival_height;
    console::DrawStep step;
    draw_block(kRivalTowerCol, kSeaRow - 1 - h);
    if (h > 0) draw_block(kRivalTowerCol, kSeaRow - h);
    console::set_color(console::kGrey);
    draw_target_box(kSeaRow - 1 - h);
    draw_target_word(word_length(target), target, kSeaRow - 1 - h);
    rival_height = h + 1;
    cursor_to_input();
}

// The rival typed its target word, our tower's top block.
void Match::own_loses_block() {
    const int h = own_height;
    console::DrawStep step;
    score -= 10;
    print_score();
    console::print_at_grid(kOwnTowerCol, kSeaRow - h, kEraseOwnBlock);
    own_height = h - 1;
    cursor_to_input();
}

void Match::typed_target() {
    const int h = rival_height;
    net::send_event(peer, net::kKnockEvent);
    console::DrawStep step;
    score += 10;
    print_score();
    console::print_at_grid(kRivalTowerCol - 1, kSeaRow - h, kEraseRivalBlock);
    if (h != 1) draw_target_box(kSeaRow + 1 - h);  // below the last block is the sea
    rival_height = h - 1;
    target = next_random() % kWordCount;
    if (rival_height != 0) draw_target_word(word_length(target), target, kSeaRow + 1 - h);
}

void Match::typed_slot(int k) {
    const int h = own_height;
    net::send_event(peer, net::kRaiseEvent);
    console::DrawStep step;
    score += 10;
    print_score();
    ran[k] = next_random() % kWordCount;
    draw_slot_word(k, ran[k]);
    draw_block(kOwnTowerCol, kSeaRow - 1 - h);
    console::set_color(console::kGrey);
    own_height = h + 1;
    cursor_to_input();
}

// The target word first, then the slot words from the left: the first equal
// one decides. A word equal to none changes nothing. True if it was one.
bool Match::compare_typed_word(const std::string& word) {
    if (word == word_table[target]) {
        typed_target();
        return true;
    }
    for (int k = 0; k < kSlots; ++k) {
        if (word == word_table[ran[k]]) {
            typed_slot(k);
            return true;
        }
    }
    return false;
}

// Towers beyond 12 or below 0 could only come from a peer that breaks the
// rules; such an event is not drawn.
Outcome Match::apply(net::PeerEvent event) {
    switch (event) {
        case net::PeerEvent::raise:
            if (rival_height < kWinHeight) rival_grows();
            break;
        case net::PeerEvent::knock:
            if (own_height > 0) own_loses_block();
            break;
        case net::PeerEvent::hello:
            if (!verdicts && mode == Mode::hosting) net::send_event(peer, net::kHello);
            verdicts = true;
            break;
        case net::PeerEvent::host_won:
        case net::PeerEvent::host_lost:
            if (mode == Mode::joining && verdicts)
                return event == net::PeerEvent::host_won ? Outcome::lost : Outcome::won;
            return Outcome::running;
        case net::PeerEvent::left:
            return Outcome::rival_left;
    }
    if (Outcome outcome = settle(); outcome != Outcome::running) return outcome;
    return play_held();
}

Outcome Match::apply(TypedLine line) {
    stats.entered(line);
    for (std::string& word : split_words(line.text)) held.push_back(std::move(word));
    return play_held();
}

// Each held word in turn while the towers are in play; a word that ends the
// match ends it, and the rest goes with it.
Outcome Match::play_held() {
    while (!held.empty() && picture() == Outcome::running) {
        const bool hit = compare_typed_word(held.front());
        held.pop_front();
        stats.word(hit);
        if (Outcome outcome = settle(); outcome != Outcome::running) return outcome;
    }
    return Outcome::running;
}

void end_match(Match& match, Outcome outcome, TypedWordReader& reader,
               net::PeerReceiver& receiver) {
    reader.abandon();
    // The referee's word goes out before its own result shows.
    if (match.mode == Mode::hosting && match.verdicts && outcome != Outcome::rival_left)
        net::send_event(match.peer, outcome == Outcome::lost ? net::kHostLost : net::kHostWon);
    {
        console::DrawStep step;
        console::set_cursor_grid(kResultCol, kResultRow);
        console::print_text("%s", outcome == Outcome::lost ? kLose : kWin);
        if (outcome == Outcome::rival_left) {
            console::set_cursor_grid(kResultCol, kLeftRow);
            console::print_text("%s", kRivalLeft);
        }
        console::set_cursor_grid(kResultCol, kStatsRow);
        console::print_text("%s", match.stats.summary().c_str());
    }
    // The joiner closes first, so that the host's port 8080 keeps no
    // TIME_WAIT of this connection; the host waits for that close.
    if (match.mode == Mode::joining) receiver.stop();
    std::this_thread::sleep_for(kResultPause);  // the music goes on
    // Keys typed while the result stood were meant for no one.
    reader.discard_pending_input();
    if (match.mode == Mode::hosting) receiver.stop_after_peer_closes(kPeerCloseWait);
    const bool keeps_score = match.mode == Mode::joining && outcome != Outcome::lost;
    if (!keeps_score) score = 0;
    rival_height = kStartHeight;
    console::clear_screen();
}

}  // namespace

void play_match(int peer, Mode mode) {
    // The inbox first, the receiver right after it, so that no event is
    // missed while the board is drawn; both go when the match has ended, and
    // whatever is still inside goes with them.
    Inbox inbox;
    net::PeerReceiver receiver(peer, [&inbox](net::PeerEvent event) { inbox.post(event); });
    if (mode == Mode::joining) net::send_event(peer, net::kHello);
    draw_sea();
    draw_board();

    Match match(peer, mode);
    sound::start_music();
    match.deal();

    TypedWordReader reader(inbox);
    Outcome outcome = Outcome::running;
    while (outcome == Outcome::running) {
        Arrival arrival = inbox.take();
        if (auto* line = std::get_if<TypedLine>(&arrival)) {
            console::DrawStep step;
            outcome = match.apply(std::move(*line));
            reader.next_line();
        } else {
            outcome = match.apply(std::get<net::PeerEvent>(arrival));
        }
    }
    end_match(match, outcome, reader, receiver);
}

}  // namespace duel
