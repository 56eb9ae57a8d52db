#include "duel/match.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "console/line_input.h"
#include "console/loop.h"
#include "duel/board.h"
#include "duel/match_state.h"
#include "duel/random.h"
#include "duel/tables.h"
#include "duel/typed_word.h"
#include "net/peer_events.h"
#include "net/peer_link.h"
#include "sound/music.h"

namespace duel {

namespace {

constexpr int kSlotRow = 42;
constexpr int kScoreCol = 31;  // right behind the score label, grid (31, 2)
constexpr int kScoreRow = 2;
constexpr int kResultCol = 28;
constexpr int kResultRow = 10;
constexpr int kLeftRow = 12;       // the rival-has-left message, below the result
constexpr int kFloodRow = 13;      // why the connection was ended, below that
constexpr int kStatsRow = 14;      // the player's 타수 and 정확도, below both
constexpr int kNotesRow = 16;      // the mode's lines, below those
constexpr int kCountdownRow = 19;  // the seconds to the next match
constexpr int kTallyRow = 20;      // the mode's tally
constexpr int kCompareRow = 21;    // the player against the practice rival
constexpr int kBoardNoteCol = 28;
constexpr int kBoardNoteRow = 39;  // two rows under the player's name
// The keys that work in a match, between the slot words and the input box.
constexpr int kKeysCol = 28;
constexpr int kKeysRow = 45;
// A word that hit nothing is marked beside the input box for this long, or
// until the next key.
constexpr int kMissX = 102;
constexpr auto kMissShown = std::chrono::seconds(1);
// The player's 타수 so far, right of the score, redrawn at most this often.
constexpr int kSpeedX = 108;
constexpr auto kSpeedEvery = std::chrono::milliseconds(250);
constexpr auto kResultPause = std::chrono::milliseconds(3000);
// How long a host waits, after its result, for the joiner to close first.
constexpr auto kPeerCloseWait = std::chrono::milliseconds(2000);
// How long a joiner whose picture has reached an end waits for the host's
// verdict before its own picture decides.
constexpr auto kVerdictWait = std::chrono::milliseconds(5000);
// A host whose rival has sent nothing at all this long since the board
// appeared (not even a hello, and so not one word) takes it for gone.
constexpr auto kSilenceLimit = std::chrono::seconds(60);

constexpr char kWin[] = "Player   WIN!";
constexpr char kLose[] = "Player   LOSE!";
// 상대가 게임을 떠났습니다.
constexpr char kRivalLeft[] =
    "\xBB\xF3\xB4\xEB\xB0\xA1 \xB0\xD4\xC0\xD3\xC0\xBB \xB6\xB0\xB3\xB5\xBD\xC0\xB4\xCF\xB4\xD9.";
// 상대 프로그램이 한꺼번에 너무 많이 보내 연결을 끊었습니다.
constexpr char kFlooded[] =
    "\xBB\xF3\xB4\xEB \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5\xC0\xCC \xC7\xD1\xB2\xA8\xB9\xF8"
    "\xBF\xA1 \xB3\xCA\xB9\xAB \xB8\xB9\xC0\xCC \xBA\xB8\xB3\xBB \xBF\xAC\xB0\xE1\xC0\xBB"
    " \xB2\xF7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.";
// "Enter: 입력   Esc: 메뉴로", blanked to the width of the question below
constexpr char kMatchKeys[] = "Enter: \xC0\xD4\xB7\xC2   Esc: \xB8\xDE\xB4\xBA\xB7\xCE           ";
// "Esc 한 번 더: 메뉴로   다른 키: 계속": after a first Esc
constexpr char kLeaveQuestion[] =
    "Esc \xC7\xD1 \xB9\xF8 \xB4\xF5: \xB8\xDE\xB4\xBA\xB7\xCE   \xB4\xD9\xB8\xA5 "
    "\xC5\xB0: \xB0\xE8\xBC\xD3";
// "다음 경기: " and the seconds left
constexpr char kNextMatch[] = "\xB4\xD9\xC0\xBD \xB0\xE6\xB1\xE2: ";
// "내 타수 " N "타/분, 연습 상대 " N "타/분"
constexpr char kMyTasu[] = "\xB3\xBB \xC5\xB8\xBC\xF6 ";
constexpr char kPracticeRival[] = ", \xBF\xAC\xBD\xC0 \xBB\xF3\xB4\xEB ";
// "없는 단어"
constexpr char kMissed[] = "\xBE\xF8\xB4\xC2 \xB4\xDC\xBE\xEE";
// "붙여넣은 글은 받지 않습니다."
constexpr char kPasteDropped[] =
    "\xBA\xD9\xBF\xA9\xB3\xD6\xC0\xBA \xB1\xDB\xC0\xBA \xB9\xDE\xC1\xF6 "
    "\xBE\xCA\xBD\xC0\xB4\xCF\xB4\xD9.";
constexpr char kEraseMissed[] = "                            ";  // 28 blanks
// "타수 " N "타/분", and "타수 -" while no 타수 can be given
constexpr char kSpeedLabel[] = "\xC5\xB8\xBC\xF6 ";
constexpr char kPerMinute[] = "\xC5\xB8/\xBA\xD0";
constexpr char kEraseKeys[] = "                                    ";      // 36 blanks
constexpr char kEraseOwnBlock[] = "                                    ";  // 36 blanks
// 26 blanks: the rival's top block with its target box and target word.
constexpr char kEraseRivalBlock[] = "                          ";

bool g_music = true;  // main thread only

int word_length(int index) { return static_cast<int>(std::strlen(word_table[index])); }

void cursor_to_input() { console::set_cursor_grid(kInputCol, kInputRow); }

// The score, right after the label's colon. Blanks after the number wipe
// whatever a longer earlier number left there ("-10" then "0" must read "0").
void print_score(int score) {
    console::DrawStep step;
    console::set_cursor_grid(kScoreCol, kScoreRow);
    console::print_text("%-11d", score);
}

// A slot word centred in its 10-cell frame interior by its byte length.
void draw_slot_word(int k, int index) {
    console::print_at_grid(13 + 8 * k, kSlotRow, centred(word_table[index], 10).c_str());
}

// A word shown at cell (x, y) inside a field `cells` wide, drawn again
// underlined or plain, in grey, without its blanks.
void draw_mark(int x, int y, int cells, const char* word, bool on) {
    const int length = static_cast<int>(std::strlen(word));
    console::DrawStep step;
    console::set_color(console::kGrey);
    console::set_underline(on);
    console::print_at(x + (cells - length) / 2, y, word);
    console::set_underline(false);
}

void draw_target_box(int row) {
    console::DrawStep step;
    console::print_at_grid(kTargetBoxCol, row, kTargetBoxLeft);
    console::print_at_grid(kTargetBoxRightCol, row, kTargetBoxRight);
}

}  // namespace

// Marks the slot words and the target word that begin with `typed`, the
// text in the input field, and unmarks the others.
void Match::mark(const std::string& typed) {
    for (int k = 0; k <= kSlots; ++k) {
        const bool target_word = k == kSlots;
        if (target_word && rival_height() == 0) continue;
        const char* word = word_table[target_word ? target : ran[k]];
        const bool on = !typed.empty() && std::string_view(word).starts_with(typed);
        if (on == marked[k]) continue;
        marked[k] = on;
        if (target_word) {
            draw_mark(3 * kTargetWordCol, kSeaRow - rival_height(), 8, word, on);
        } else {
            draw_mark(3 * (13 + 8 * k), kSlotRow, 10, word, on);
        }
    }
}

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
    if (score != 0) print_score(score);
}

// What the towers say: a tower at 12, or at 0, decides.
Progress Match::picture() const {
    if (own_height() == kWinHeight || rival_height() == 0) return Outcome::won;
    if (own_height() == 0 || rival_height() == kWinHeight) return Outcome::lost;
    return kRunning;
}

// After every change of the towers. A joiner whose host speaks verdicts
// does not end on its own picture: it plays on until the verdict comes.
Progress Match::settle() {
    Progress now = picture();
    if (mode == Mode::joining && verdicts) return kRunning;
    return now;
}

// The rival typed a slot word: a new block on its tower, the old top block
// drawn again over its target box, and the box and word one row higher. A
// tower knocked down to the sea, while the verdict is awaited, has no old
// top to draw again.
void Match::rival_grows() {
    const int h = rival_height();
    console::DrawStep step;
    const console::Attr top = draw_block(kRivalTowerCol, kSeaRow - 1 - h);
    if (h > 0) towers.rival.back() = draw_block(kRivalTowerCol, kSeaRow - h);
    towers.rival.push_back(top);
    console::set_color(console::kGrey);
    draw_target_box(kSeaRow - 1 - h);
    draw_target_word(word_length(target), target, kSeaRow - 1 - h);
    marked[kSlots] = false;
    cursor_to_input();
}

// The rival typed its target word, our tower's top block.
void Match::own_loses_block() {
    const int h = own_height();
    console::DrawStep step;
    score -= 10;
    print_score(score);
    console::print_at_grid(kOwnTowerCol, kSeaRow - h, kEraseOwnBlock);
    towers.own.pop_back();
    cursor_to_input();
}

void Match::typed_target() {
    const int h = rival_height();
    peer.send(net::kKnockEvent);
    console::DrawStep step;
    score += 10;
    print_score(score);
    console::print_at_grid(kRivalTowerCol - 1, kSeaRow - h, kEraseRivalBlock);
    if (h != 1) draw_target_box(kSeaRow + 1 - h);  // below the last block is the sea
    towers.rival.pop_back();
    target = next_random() % kWordCount;
    if (h != 1) draw_target_word(word_length(target), target, kSeaRow + 1 - h);
    marked[kSlots] = false;
}

void Match::typed_slot(int k) {
    const int h = own_height();
    peer.send(net::kRaiseEvent);
    console::DrawStep step;
    score += 10;
    print_score(score);
    ran[k] = next_random() % kWordCount;
    draw_slot_word(k, ran[k]);
    marked[k] = false;
    towers.own.push_back(draw_block(kOwnTowerCol, kSeaRow - 1 - h));
    console::set_color(console::kGrey);
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
Progress Match::apply(net::PeerEvent event) {
    switch (event) {
        case net::PeerEvent::raise:
            if (rival_height() < kWinHeight) rival_grows();
            break;
        case net::PeerEvent::knock:
            if (own_height() > 0) own_loses_block();
            break;
        case net::PeerEvent::hello:
            if (!verdicts && mode == Mode::hosting) peer.send(net::kHello);
            verdicts = true;
            break;
        case net::PeerEvent::host_won:
        case net::PeerEvent::host_lost:
            if (mode == Mode::joining && verdicts)
                return event == net::PeerEvent::host_won ? Outcome::lost : Outcome::won;
            return kRunning;
        case net::PeerEvent::left:
            // A host that closes before its verdict leaves the joiner's own
            // picture to decide, once it has reached an end.
            if (mode == Mode::joining && verdicts && picture() != kRunning) return picture();
            return Outcome::rival_left;
    }
    if (Progress outcome = settle(); outcome != kRunning) return outcome;
    return play_held();
}

Progress Match::apply(TypedLine line) {
    stats.entered(line);
    for (std::string& word : split_words(line.text)) held.push_back(std::move(word));
    return play_held();
}

// Each held word in turn while the towers are in play; a word that ends the
// match ends it, and the rest goes with it.
Progress Match::play_held() {
    while (!held.empty() && picture() == kRunning) {
        const bool hit = compare_typed_word(held.front());
        held.pop_front();
        stats.word(hit);
        missed = missed || !hit;
        if (Progress outcome = settle(); outcome != kRunning) return outcome;
    }
    return kRunning;
}

// A joiner keeps the time its picture reached an end: the verdict is
// awaited from then on.
void Match::note_picture(Clock::time_point now) {
    if (mode != Mode::joining || !verdicts || picture() == kRunning) {
        picture_ended.reset();
    } else if (!picture_ended) {
        picture_ended = now;
    }
}

// The next time the match itself ends a wait: the joiner's wait for the
// verdict, or the host's for a first byte from a rival that never spoke.
std::optional<Clock::time_point> Match::deadline() const {
    if (picture_ended) return *picture_ended + kVerdictWait;
    if (mode == Mode::hosting && !peer.heard()) return started + kSilenceLimit;
    return std::nullopt;
}

Progress Match::on_deadline(Clock::time_point now) {
    const std::optional<Clock::time_point> due = deadline();
    if (!due || now < *due) return kRunning;
    if (picture_ended) return picture();
    return apply(net::PeerEvent::left);
}

namespace {

// The player's 타수 so far, on the result line's own scale.
void draw_speed(const TypingStats& stats) {
    console::DrawStep step;
    console::set_cursor(kSpeedX, kScoreRow);
    if (std::optional<int> speed = stats.keys_per_minute()) {
        console::print_text("%s%d%s    ", kSpeedLabel, *speed, kPerMinute);
    } else {
        console::print_text("%s-           ", kSpeedLabel);
    }
}

// Reads what the peer sends until `until` comes, or, when `to_its_end`, the
// connection ends before: none of it counts any more, and none is kept.
void drain_until(net::PeerLink& peer, console::Clock::time_point until, bool to_its_end) {
    for (;;) {
        if (to_its_end && peer.ended()) return;
        const console::Watch watch = peer.watch();
        const console::Turn turn =
            console::next_turn(console::Keys::leave, {&watch, peer.ended() ? 0u : 1u}, until);
        if (turn.ready_for(watch.sock)) {
            peer.flush();
            peer.discard();
        }
        if (turn.timed_out) return;
    }
}

void end_match(Match& match, const MatchResult& result, const MatchNotes& notes) {
    const Outcome outcome = result.outcome;
    if (outcome == Outcome::player_left) {
        // The rival's side reads the end of the connection: that the player
        // has left.
        match.peer.shut();
        console::clear_screen();
        return;
    }
    // The referee's word goes out before its own result shows.
    if (match.mode == Mode::hosting && match.verdicts && outcome != Outcome::rival_left)
        match.peer.send(outcome == Outcome::lost ? net::kHostLost : net::kHostWon);
    {
        console::DrawStep step;
        console::clear_cursor_rest();
        console::print_at_grid(kKeysCol, kKeysRow, kEraseKeys);
        console::set_cursor_grid(kResultCol, kResultRow);
        console::print_text("%s", outcome == Outcome::lost ? kLose : kWin);
        if (outcome == Outcome::rival_left) {
            console::set_cursor_grid(kResultCol, kLeftRow);
            console::print_text("%s", kRivalLeft);
            if (match.peer.flooded()) {
                console::set_cursor_grid(kResultCol, kFloodRow);
                console::print_text("%s", kFlooded);
            }
        }
        console::set_cursor_grid(kResultCol, kStatsRow);
        console::print_text("%s", match.stats.summary().c_str());
    }
    if (notes.result) {
        console::DrawStep step;
        int row = kNotesRow;
        for (const std::string& line : notes.result(result))
            console::print_at_grid(kResultCol, row++, line.c_str());
    }
    {
        console::DrawStep step;
        if (notes.tally) console::print_at_grid(kResultCol, kTallyRow, notes.tally(result).c_str());
        if (result.practice_speed) {
            const std::optional<int> mine = match.stats.keys_per_minute();
            console::set_cursor_grid(kResultCol, kCompareRow);
            const std::string my_speed = mine ? std::to_string(*mine) + kPerMinute : "-";
            console::print_text("%s%s%s%d%s", kMyTasu, my_speed.c_str(), kPracticeRival,
                                *result.practice_speed, kPerMinute);
        }
    }
    // The joiner closes first, so that the host's port keeps no TIME_WAIT
    // of this connection; the host waits for that close, reading only to
    // find it. The music goes on, and the seconds to the next match count
    // down.
    if (match.mode == Mode::joining) match.peer.shut();
    const auto shown = console::Clock::now();
    for (int left = 3; left > 0; --left) {
        {
            console::DrawStep step;
            console::set_cursor_grid(kResultCol, kCountdownRow);
            console::print_text("%s%d", kNextMatch, left);
        }
        drain_until(match.peer, shown + kResultPause * (4 - left) / 3, false);
    }
    // Keys typed while the result stood were meant for no one.
    console::discard_typed_keys();
    if (match.mode == Mode::hosting)
        drain_until(match.peer, console::Clock::now() + kPeerCloseWait, true);
    match.peer.shut();
    console::clear_screen();
}

}  // namespace

void play_without_music() { g_music = false; }

int carried_score(const MatchResult& result) {
    const bool keeps_score = result.mode == Mode::joining && result.outcome != Outcome::lost;
    return keeps_score ? result.score : 0;
}

MatchResult play_match(int peer, Mode mode, int score, std::optional<int> practice_speed,
                       const MatchNotes& notes) {
    const auto start = Clock::now();
    net::PeerLink link(peer);
    if (mode == Mode::joining) link.send(net::kHello);
    // The music's device opens off this thread: the board is not held up.
    if (g_music) sound::start_music();

    std::optional<Match> match;
    {
        // The whole first board in one present.
        console::DrawStep step;
        draw_sea();
        match.emplace(link, mode, score, draw_board());
        match->deal();
        if (!notes.board.empty())
            console::print_at_grid(kBoardNoteCol, kBoardNoteRow, notes.board.c_str());
        console::print_at_grid(kKeysCol, kKeysRow, kMatchKeys);
    }

    // The words are Hangul: letter keys compose them where no input method
    // does.
    // Pasted text is no typing: it is dropped, with a notice.
    console::LineInput input(console::Composition::hangul, console::LineEditor::Pastes::drop);
    const console::Field field{3 * kInputCol, kInputRow, kInputCells};
    input.draw(field);
    std::vector<net::PeerEvent> events;
    Progress outcome = link.ended() ? match->apply(net::PeerEvent::left) : kRunning;
    bool leaving = false;                           // Esc pressed once: the question stands
    std::optional<Clock::time_point> miss_shown;    // until when
    std::optional<Clock::time_point> speed_redraw;  // when the 타수 is due
    Clock::time_point speed_drawn{};
    while (outcome == kRunning) {
        const console::Watch watch = link.watch();
        const auto deadline = console::earliest(
            console::earliest(console::escape_deadline(input.in_escape()), match->deadline()),
            console::earliest(miss_shown, speed_redraw));
        const console::Turn turn =
            console::next_turn(console::Keys::take, {&watch, link.ended() ? 0u : 1u}, deadline);
        // Everything this turn brought is applied, then presented once.
        console::DrawStep step;
        if (miss_shown && (!turn.keys.empty() || Clock::now() >= *miss_shown)) {
            console::print_at(kMissX, kInputRow, kEraseMissed);
            miss_shown.reset();
        }
        if (turn.ready_for(watch.sock)) {
            link.flush();
            events.clear();
            link.receive(events);
            for (std::size_t i = 0; i < events.size() && outcome == kRunning; ++i)
                outcome = match->apply(events[i]);
        }
        input.add(turn.keys);
        if (turn.timed_out && input.in_escape()) input.end_escape();
        if (input.take_escape()) {
            // Esc asks; Esc again leaves the match for the menu.
            if (leaving) outcome = Outcome::player_left;
            leaving = true;
            console::print_at_grid(kKeysCol, kKeysRow, kLeaveQuestion);
        } else if (leaving && !turn.keys.empty() && turn.keys.front() != '\x1b') {
            leaving = false;
            console::print_at_grid(kKeysCol, kKeysRow, kMatchKeys);
        }
        while (outcome == kRunning) {
            std::optional<console::LineRead> line = input.next_line();
            if (!line) break;
            outcome = match->apply(
                TypedLine{std::move(line->line), line->first_key, Clock::now(), line->burst});
            speed_redraw = std::max(Clock::now(), speed_drawn + kSpeedEvery);
        }
        match->note_picture(Clock::now());
        if (outcome == kRunning && turn.timed_out) outcome = match->on_deadline(Clock::now());
        if (outcome != kRunning) break;
        const bool pasted = input.take_dropped_paste();
        if (match->missed || pasted) {
            match->missed = false;
            console::print_at(kMissX, kInputRow, kEraseMissed);
            console::print_at(kMissX, kInputRow, pasted ? kPasteDropped : kMissed);
            miss_shown = Clock::now() + kMissShown;
        }
        if (speed_redraw && Clock::now() >= *speed_redraw) {
            draw_speed(match->stats);
            speed_drawn = Clock::now();
            speed_redraw.reset();
        }
        match->mark(input.typed());
        input.draw(field);
    }
    const auto length = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);
    const MatchResult result{*outcome, match->score,   match->stats,
                             mode,     practice_speed, static_cast<int>(length.count())};
    end_match(*match, result, notes);
    return result;
}

}  // namespace duel
