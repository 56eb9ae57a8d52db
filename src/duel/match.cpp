#include "duel/match.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "console/console.h"
#include "duel/board.h"
#include "duel/random.h"
#include "duel/state.h"
#include "duel/tables.h"
#include "duel/typed_word.h"
#include "net/peer_events.h"
#include "net/wakeup.h"
#include "sound/music.h"

namespace duel {

namespace {

constexpr int kStartHeight = 3;
constexpr int kWinHeight = 12;
constexpr int kSlots = 5;
constexpr int kSlotRow = 42;
constexpr int kInputCol = 28;  // the input field, grid (28, 48)
constexpr int kInputRow = 48;
constexpr int kScoreCol = 31;  // right behind the score label, grid (31, 2)
constexpr int kScoreRow = 2;
constexpr int kResultCol = 28;
constexpr int kResultRow = 10;
constexpr int kLeftRow = 12;  // the rival-has-left message, below the result
constexpr auto kResultPause = std::chrono::milliseconds(3000);

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
    const char* format = nullptr;
    switch (word_length(index)) {
        case 8: format = " %s "; break;
        case 6: format = "  %s  "; break;
        case 4: format = "   %s   "; break;
        default: return;
    }
    console::DrawStep step;
    console::set_cursor_grid(13 + 8 * k, kSlotRow);
    console::print_text(format, word_table[index]);
}

void draw_target_box(int row) {
    console::DrawStep step;
    print_at(kTargetBoxCol, row, kTargetBoxLeft);
    print_at(kTargetBoxRightCol, row, kTargetBoxRight);
}

struct Match {
    int peer;
    int own_height = kStartHeight;
    int ran[kSlots] = {};
    int target = 0;
    UserBuffer user = {};

    void deal();
    Outcome rival_grows();
    Outcome own_loses_block();
    Outcome typed_target();
    Outcome typed_slot(int k);
    Outcome compare_typed_word();
};

// The five slot words, pairwise different, then the target word, which may
// equal one of them.
void Match::deal() {
    for (int k = 0; k < kSlots; ++k) {
        bool repeated;
        do {
            ran[k] = next_random() % kWordCount;
            repeated = false;
            for (int j = 0; j < k; ++j) repeated = repeated || ran[j] == ran[k];
        } while (repeated);
    }
    for (int k = 0; k < kSlots; ++k) draw_slot_word(k, ran[k]);
    target = next_random() % kWordCount;
    draw_target_word(word_length(target), target, kSeaRow - kStartHeight);
}

// The rival typed a slot word: a new block on its tower, the old top block
// drawn again over its target box, and the box and word one row higher.
Outcome Match::rival_grows() {
    const int h = rival_height;
    draw_block(kRivalTowerCol, kSeaRow - 1 - h);
    draw_block(kRivalTowerCol, kSeaRow - h);
    console::set_color(console::kGrey);
    draw_target_box(kSeaRow - 1 - h);
    draw_target_word(word_length(target), target, kSeaRow - 1 - h);
    rival_height = h + 1;
    cursor_to_input();
    return rival_height == kWinHeight ? Outcome::lost : Outcome::running;
}

// The rival typed its target word, our tower's top block.
Outcome Match::own_loses_block() {
    const int h = own_height;
    score -= 10;
    print_score();
    print_at(kOwnTowerCol, kSeaRow - h, kEraseOwnBlock);
    own_height = h - 1;
    cursor_to_input();
    return own_height == 0 ? Outcome::lost : Outcome::running;
}

Outcome Match::typed_target() {
    const int h = rival_height;
    net::send_event(peer, net::kKnockEvent);
    score += 10;
    print_score();
    print_at(kRivalTowerCol - 1, kSeaRow - h, kEraseRivalBlock);
    if (h != 1) draw_target_box(kSeaRow + 1 - h);  // below the last block is the sea
    rival_height = h - 1;
    target = next_random() % kWordCount;
    if (rival_height != 0) draw_target_word(word_length(target), target, kSeaRow + 1 - h);
    return rival_height == 0 ? Outcome::won : Outcome::running;
}

Outcome Match::typed_slot(int k) {
    const int h = own_height;
    net::send_event(peer, net::kRaiseEvent);
    score += 10;
    print_score();
    ran[k] = next_random() % kWordCount;
    draw_slot_word(k, ran[k]);
    draw_block(kOwnTowerCol, kSeaRow - 1 - h);
    console::set_color(console::kGrey);
    own_height = h + 1;
    cursor_to_input();
    return own_height == kWinHeight ? Outcome::won : Outcome::running;
}

// The target word first, then the slot words from the left: the first equal
// one decides. A word equal to none changes nothing.
Outcome Match::compare_typed_word() {
    if (std::strcmp(user, word_table[target]) == 0) return typed_target();
    for (int k = 0; k < kSlots; ++k) {
        if (std::strcmp(user, word_table[ran[k]]) == 0) return typed_slot(k);
    }
    return Outcome::running;
}

void end_match(Outcome outcome, Mode mode, TypedWordReader& reader) {
    reader.abandon();
    {
        console::DrawStep step;
        console::set_cursor_grid(kResultCol, kResultRow);
        console::print_text("%s", outcome == Outcome::lost ? kLose : kWin);
        if (outcome == Outcome::rival_left) {
            console::set_cursor_grid(kResultCol, kLeftRow);
            console::print_text("%s", kRivalLeft);
        }
    }
    std::this_thread::sleep_for(kResultPause);  // the music goes on
    // Keys typed while the result stood were meant for no one.
    reader.discard_pending_input();
    if (!(mode == Mode::joining && outcome != Outcome::lost)) score = 0;
    rival_height = kStartHeight;
    console::clear_screen();
}

}  // namespace

void play_match(int peer, Mode mode) {
    Match match{peer};
    sound::start_music();
    match.deal();

    TypedWordReader reader;
    Outcome outcome = Outcome::running;
    while (outcome == Outcome::running) {
        // Note the wake-up count before looking, so that anything that
        // arrives after the look ends the wait at the bottom at once.
        const std::uint32_t seen = net::match_signal_count();
        if (net::take_event(net::raise_flag)) {
            outcome = match.rival_grows();
            if (outcome != Outcome::running) break;
        }
        if (net::take_event(net::knock_flag)) {
            outcome = match.own_loses_block();
            if (outcome != Outcome::running) break;
        }
        if (net::take_event(net::leave_flag)) {
            outcome = Outcome::rival_left;
            break;
        }
        if (reader.completed()) {
            reader.take();
            outcome = match.compare_typed_word();
            if (outcome != Outcome::running) break;
        }
        if (reader.idle()) {
            std::memset(match.user, 0, sizeof match.user);
            reader.start(match.user);
        }
        net::wait_match_signal(seen);
    }
    end_match(outcome, mode, reader);
}

}  // namespace duel
