// Matches played in-process: the console on a pseudo-terminal read through
// libvterm, the peer at the other end of a socket pair. The test types words
// it reads off the screen, sends event bytes as the peer, and reads the
// bytes the match sends.
#include "duel/match.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "console/console.h"
#include "console/encoding.h"
#include "console/line_input.h"
#include "console/loop.h"
#include "duel/board.h"
#include "duel/random.h"
#include "duel/tables.h"
#include "duel/typed_word.h"
#include "net/peer_events.h"
#include "sound/music.h"
#include "support/colours.h"
#include "support/peer_harness.h"
#include "support/pty_process.h"

namespace {

using duel::Mode;
using taja::test::palette_of;
using taja::test::VtScreen;
using namespace std::chrono_literals;

constexpr int kSeaRow = 36;
constexpr int kOwnX = 48;     // grid 16
constexpr int kRivalX = 111;  // grid 37

std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string word_utf8(int index) {
    console::Converter to_utf8("CP949", "UTF-8");
    return to_utf8.convert(duel::word_table[index]);
}

bool bright(int fg) {
    for (int attr = 9; attr <= 15; ++attr) {
        if (fg == palette_of(attr)) return true;
    }
    return false;
}

// A block of a tower at cell x on row y: "  (" and ")" 18 cells apart, in
// one bright colour. (The rival's top block holds the target box.)
bool block_at(const VtScreen& s, int x, int y) {
    return s.text(x, y, 3) == "  (" && s.text(x + 17, y, 1) == ")" && bright(s.cell(x + 2, y).fg) &&
           s.cell(x + 2, y).fg == s.cell(x + 17, y).fg;
}

// A plain block, with nothing inside.
bool plain_block_at(const VtScreen& s, int x, int y) {
    return block_at(s, x, y) && s.text(x, y, 18) == "  (              )";
}

int tower_height(const VtScreen& s, int x) {
    int h = 0;
    while (h < 13 && block_at(s, x, kSeaRow - 1 - h)) ++h;
    return h;
}

// What the draws will be: the generator from its start, `skip` values on.
struct Draws {
    explicit Draws(int skip) {
        duel::reset_random();
        for (int i = 0; i < skip; ++i) duel::next_random();
    }
    int word() { return duel::next_random() % 48; }
};

// The deal of a match that starts after `skip` draws and a board of 57.
struct Deal {
    int ran[5];
    int target;
};

Deal predict_deal(Draws& d) {
    for (int i = 0; i < 57; ++i) duel::next_random();
    Deal deal{};
    for (int k = 0; k < 5; ++k) {
        bool again;
        do {
            deal.ran[k] = d.word();
            again = false;
            for (int j = 0; j < k; ++j) again = again || deal.ran[j] == deal.ran[k];
        } while (again);
    }
    deal.target = d.word();
    return deal;
}

class MatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // No sound out of the test machine: an ALSA configuration with no device.
        ::setenv("ALSA_CONFIG_PATH", "/dev/null", 1);
        duel::reset_random();
    }

    void TearDown() override {
        // A match a test left running ends when its rival leaves.
        if (match_.joinable() && !done_.load()) peer_ = net::Socket();
        if (match_.joinable()) match_.join();
        sound::close_music();
    }

    // Starts a match from `score`, which draws a fresh board, after `skip`
    // earlier draws.
    void start(Mode mode, int skip = 0, int score = 0) {
        if (match_.joinable()) match_.join();
        duel::reset_random();
        for (int i = 0; i < skip; ++i) duel::next_random();
        done_.store(false);
        // Every match has a connection of its own.
        auto [ours, theirs] = taja::test::socket_pair();
        ours_ = std::move(ours);
        peer_ = std::move(theirs);
        console::clear_screen();
        match_ = std::thread([this, mode, score] {
            result_ = duel::play_match(ours_.fd(), mode, score);
            done_.store(true);
        });
        // The target word is the last thing a match draws before it waits.
        ASSERT_TRUE(screen().wait_for([](const VtScreen& s) {
            return !trim(s.text(117, 33, 8)).empty();
        })) << screen().dump();
    }

    // Waits for the match to end and return.
    void finish() {
        auto until = std::chrono::steady_clock::now() + 10s;
        while (!done_.load() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(done_.load()) << screen().dump();
        match_.join();
    }

    taja::test::ScreenPump& screen() { return pty_.screen(); }

    std::string slot_word(int k) {
        std::string w;
        screen().with_screen([&](const VtScreen& s) { w = trim(s.text(39 + 24 * k, 42, 10)); });
        return w;
    }
    // The word in the target box on the rival's top block.
    std::string target_word() {
        std::string w;
        screen().with_screen([&](const VtScreen& s) {
            w = trim(s.text(117, kSeaRow - tower_height(s, kRivalX), 8));
        });
        return w;
    }

    // Waits until the rival tower is `h` blocks high with a target word on top.
    bool rival_ready(int h) {
        return wait_for([h](const VtScreen& s) {
            return tower_height(s, kRivalX) == h && !trim(s.text(117, kSeaRow - h, 8)).empty();
        });
    }
    int height(int x) {
        int h = 0;
        screen().with_screen([&](const VtScreen& s) { h = tower_height(s, x); });
        return h;
    }

    void type_word(const std::string& utf8) { pty_.type(utf8 + "\r"); }

    // The next event byte the match sent, or -1 if none comes within
    // `deadline`. A joiner's hello goes by, as it does at a peer that does
    // not know it.
    int sent_byte(std::chrono::milliseconds deadline = 5s) {
        for (;;) {
            pollfd p{peer_.fd(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(deadline.count())) != 1) return -1;
            unsigned char b;
            if (::read(peer_.fd(), &b, 1) != 1) return -1;
            if (b != net::kHello) return b;
        }
    }

    void peer_sends(std::string_view bytes) { taja::test::send_raw(peer_.fd(), bytes); }

    bool wait_for(const std::function<bool(const VtScreen&)>& pred) {
        return screen().wait_for(pred);
    }

    bool score_reads(const std::string& text) {
        return wait_for([&](const VtScreen& s) { return s.text(93, 2, 11) == text; });
    }

    taja::test::PtyConsole pty_;
    net::Socket ours_;
    net::Socket peer_;
    std::thread match_;
    std::atomic<bool> done_{false};
    duel::MatchResult result_;  // of the last match, once done
    // The score the next match of the mode starts from.
    int carried() const { return duel::carried_score(result_); }
};

TEST_F(MatchTest, DealsFiveDifferentSlotWordsAndATargetInTheirLayouts) {
    Draws d(0);
    Deal deal = predict_deal(d);
    start(Mode::hosting);
    screen().with_screen([&](const VtScreen& s) {
        for (int k = 0; k < 5; ++k) {
            const std::string w = word_utf8(deal.ran[k]);
            const int len = static_cast<int>(std::strlen(duel::word_table[deal.ran[k]]));
            const int pad = (10 - len) / 2;
            EXPECT_EQ(s.text(39 + 24 * k, 42, 10),
                      std::string(pad, ' ') + w + std::string(pad, ' '))
                << "slot " << k;
            EXPECT_EQ(s.cell(39 + 24 * k + pad, 42).fg, palette_of(7));
            EXPECT_EQ(s.text(37 + 24 * k, 42, 1), "(");  // the frame is untouched
            EXPECT_EQ(s.text(50 + 24 * k, 42, 1), ")");
        }
        EXPECT_EQ(trim(s.text(117, 33, 8)), word_utf8(deal.target));
        EXPECT_EQ(s.text(93, 2, 11), std::string(11, ' ')) << "no score before its first change";
        EXPECT_EQ(s.text(84, 48, 15), std::string(15, ' '));
    });
}

TEST_F(MatchTest, SlotWordRaisesTheOwnTowerReplacesTheWordAndSendsRaise) {
    start(Mode::hosting);
    const std::string word = slot_word(2);
    type_word(word);
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kOwnX) == 4; }))
        << screen().dump();
    ASSERT_TRUE(score_reads("10         "));
    // The next read clears the field and waits there.
    ASSERT_TRUE(wait_for([](const VtScreen& s) {
        return s.text(84, 48, 15) == std::string(15, ' ') && s.cursor().x == 84 &&
               s.cursor().y == 48;
    })) << screen().dump();
    screen().with_screen([&](const VtScreen& s) {
        EXPECT_EQ(s.cell(93, 2).fg, palette_of(7));
        EXPECT_EQ(tower_height(s, kRivalX), 3);
        EXPECT_NE(trim(s.text(87, 42, 10)), word) << "the typed slot word was replaced";
    });
}

TEST_F(MatchTest, TargetWordKnocksTheRivalTopBlockAndMovesTheBoxDown) {
    start(Mode::hosting);
    const std::string word = target_word();
    type_word(word);
    EXPECT_EQ(sent_byte(), 'c');
    ASSERT_TRUE(wait_for([](const VtScreen& s) {
        return s.text(108, 33, 26) == std::string(26, ' ') && !trim(s.text(117, 34, 8)).empty();
    })) << screen().dump();
    ASSERT_TRUE(score_reads("10         "));
    screen().with_screen([&](const VtScreen& s) {
        EXPECT_EQ(tower_height(s, kRivalX), 2);
        EXPECT_EQ(s.text(114, 34, 2), " (");
        EXPECT_EQ(s.text(126, 34, 1), ")");
        EXPECT_EQ(s.cell(115, 34).fg, palette_of(7));
        EXPECT_FALSE(trim(s.text(117, 34, 8)).empty()) << "a new target word on the new top";
        EXPECT_EQ(
            s.cell(117 + (8 - static_cast<int>(trim(s.text(117, 34, 8)).size()) / 3 * 2) / 2, 34)
                .fg,
            palette_of(7));
        EXPECT_EQ(tower_height(s, kOwnX), 3);
    });
}

TEST_F(MatchTest, RaiseEventGrowsTheRivalTowerAndLiftsTheTarget) {
    start(Mode::hosting);
    const std::string word = target_word();
    peer_sends("u");
    // The word is the last thing the step draws.
    ASSERT_TRUE(wait_for([&](const VtScreen& s) { return trim(s.text(117, 32, 8)) == word; }))
        << screen().dump();
    screen().with_screen([&](const VtScreen& s) {
        EXPECT_EQ(trim(s.text(117, 32, 8)), word) << "the same target word, one row up";
        EXPECT_EQ(s.text(114, 32, 2), " (");
        EXPECT_EQ(s.text(126, 32, 1), ")");
        EXPECT_EQ(s.cell(115, 32).fg, palette_of(7));
        EXPECT_TRUE(plain_block_at(s, kRivalX, 33)) << "the old top is a plain block again";
        EXPECT_EQ(s.text(93, 2, 11), std::string(11, ' ')) << "the score does not change";
    });
    EXPECT_EQ(sent_byte(200ms), -1) << "nothing is sent for a received event";
}

TEST_F(MatchTest, KnockEventCostsABlockAndTenPointsAndTheScoreFieldIsCleared) {
    start(Mode::hosting);
    peer_sends("c");
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kOwnX) == 2; }))
        << screen().dump();
    ASSERT_TRUE(score_reads("-10        ")) << screen().dump();
    screen().with_screen(
        [](const VtScreen& s) { EXPECT_EQ(s.text(48, 33, 36), std::string(36, ' ')); });
    type_word(slot_word(0));
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(score_reads("0          ")) << "no digit of -10 is left: " << screen().dump();
}

TEST_F(MatchTest, AWordEqualToTheTargetAndASlotCountsAsTheTargetOnly) {
    int skip = 0;
    Deal deal{};
    int slot = -1;
    for (; skip < 5000 && slot < 0; ++skip) {
        Draws d(skip);
        deal = predict_deal(d);
        for (int k = 0; k < 5; ++k) {
            if (deal.ran[k] == deal.target) slot = k;
        }
    }
    ASSERT_GE(slot, 0);
    start(Mode::hosting, skip - 1);
    ASSERT_EQ(slot_word(slot), target_word());
    type_word(target_word());
    EXPECT_EQ(sent_byte(), 'c');
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kRivalX) == 2; }))
        << screen().dump();
    EXPECT_EQ(slot_word(slot), word_utf8(deal.target)) << "the slot word stays";
    EXPECT_EQ(height(kOwnX), 3);
    EXPECT_EQ(sent_byte(200ms), -1);
}

TEST_F(MatchTest, OfTwoEqualSlotWordsOnlyTheLeftmostIsReplaced) {
    // Find a start where typing slot k brings a word that another slot shows.
    int skip = 0, k = -1, other = -1;
    for (; skip < 5000 && k < 0; ++skip) {
        Draws d(skip);
        Deal deal = predict_deal(d);
        for (int typed = 0; typed < 5 && k < 0; ++typed) {
            Draws again(skip);
            predict_deal(again);
            int fresh = again.word();
            for (int j = 0; j < 5; ++j) {
                if (j != typed && deal.ran[j] == fresh && deal.target != fresh) {
                    k = typed;
                    other = j;
                }
            }
        }
    }
    ASSERT_GE(k, 0);
    start(Mode::hosting, skip - 1);
    type_word(slot_word(k));
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(wait_for([&](const VtScreen& s) {
        return trim(s.text(39 + 24 * k, 42, 10)) == trim(s.text(39 + 24 * other, 42, 10));
    })) << screen().dump();
    const std::string twice = slot_word(k);
    const int left = std::min(k, other), right = std::max(k, other);
    type_word(twice);
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kOwnX) == 5; }))
        << screen().dump();
    EXPECT_EQ(slot_word(right), twice);
    EXPECT_NE(slot_word(left), twice);
}

TEST_F(MatchTest, AWordMatchingNothingChangesNothingAndSendsNothing) {
    start(Mode::hosting);
    type_word("xyz");
    type_word("오들오들오들");
    type_word("");
    type_word("    ");
    type_word(slot_word(1));
    EXPECT_EQ(sent_byte(), 'u') << "the first byte sent is the slot word's";
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kOwnX) == 4; }))
        << screen().dump();
    ASSERT_TRUE(score_reads("10         "));
    EXPECT_EQ(sent_byte(200ms), -1);
}

TEST_F(MatchTest, TwoWordsOnOneLineComeFromTwoReads) {
    start(Mode::hosting);
    type_word(slot_word(0) + "  " + slot_word(3));
    EXPECT_EQ(sent_byte(), 'u');
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kOwnX) == 5; }))
        << screen().dump();
    ASSERT_TRUE(score_reads("20         "));
}

TEST_F(MatchTest, ALongRunOfBytesNeitherOverrunsNorMatches) {
    start(Mode::hosting);
    type_word(std::string(200, 'a'));
    type_word(slot_word(4) + std::string(30, 'b'));  // a word followed by more is another word
    type_word(slot_word(4));
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(score_reads("10         "));
    EXPECT_EQ(sent_byte(200ms), -1);
}

TEST_F(MatchTest, KnockingOffTheLastRivalBlockWins) {
    start(Mode::hosting);
    for (int h = 3; h >= 1; --h) {
        ASSERT_TRUE(rival_ready(h)) << screen().dump();
        type_word(target_word());
        ASSERT_EQ(sent_byte(), 'c');
    }
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   WIN!")) << screen().dump();
    screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(s.cell(84, 10).fg, palette_of(7));
        for (int y = 33; y <= 35; ++y) EXPECT_EQ(s.text(108, y, 26), std::string(26, ' '));
        // The sea row keeps only its sea: no box, no word.
        for (int x = 108; x < 134; ++x) {
            const std::string c = s.cell(x, kSeaRow).text;
            if ((x - 21) % 3 == 0) {
                EXPECT_TRUE(c == "~" || c == " ") << x;
            } else {
                EXPECT_TRUE(c.empty()) << "cell " << x << " of the sea row holds " << c;
            }
        }
    });
    finish();
    // The match has returned; its last write may still be on its way to the
    // screen the test reads.
    EXPECT_TRUE(screen().wait_for([](const VtScreen& s) {
        for (int y = 0; y < 50; ++y) {
            if (!s.row(y).empty()) return false;
        }
        return true;
    })) << "the screen after the match\n"
        << screen().dump();
    EXPECT_EQ(carried(), 0) << "the hosting mode starts every match from 0";
}

TEST_F(MatchTest, NineSlotWordsWin) {
    start(Mode::hosting);
    for (int i = 0; i < 9; ++i) {
        ASSERT_TRUE(wait_for([&](const VtScreen& s) { return tower_height(s, kOwnX) == 3 + i; }));
        ASSERT_TRUE(rival_ready(3));
        int k = 0;
        while (slot_word(k) == target_word()) ++k;  // the target would count first
        type_word(slot_word(k));
        ASSERT_EQ(sent_byte(), 'u') << i;
    }
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   WIN!")) << screen().dump();
    EXPECT_EQ(height(kOwnX), 12);
    finish();
}

TEST_F(MatchTest, ThreeKnocksLose) {
    start(Mode::hosting);
    peer_sends("ccc");
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   LOSE!")) << screen().dump();
    EXPECT_EQ(height(kOwnX), 0);
    ASSERT_TRUE(score_reads("-30        "));
    finish();
    EXPECT_EQ(carried(), 0);
}

TEST_F(MatchTest, NineRaisesLose) {
    start(Mode::joining);
    peer_sends(std::string(9, 'u'));
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   LOSE!")) << screen().dump();
    EXPECT_EQ(height(kRivalX), 12);
    finish();
}

TEST_F(MatchTest, EventsApplyInWireOrderAndNoneOutlivesItsMatch) {
    // The rival is one block short of winning: the knock that came first
    // costs a block before the raise ends the match.
    start(Mode::hosting);
    peer_sends(std::string(8, 'u'));
    ASSERT_TRUE(rival_ready(11)) << screen().dump();
    peer_sends("cu");
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   LOSE!")) << screen().dump();
    EXPECT_EQ(height(kRivalX), 12);
    EXPECT_EQ(height(kOwnX), 2);
    // A word in flight as the match ended is dropped with its match.
    peer_sends("c");
    finish();

    start(Mode::hosting);
    peer_sends("u");
    ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kRivalX) == 4; }))
        << screen().dump();
    EXPECT_EQ(height(kOwnX), 3);
}

TEST_F(MatchTest, ARivalWhoLeavesLosesAndTheBoardSaysSo) {
    start(Mode::joining);
    ASSERT_TRUE(rival_ready(3)) << screen().dump();
    type_word(slot_word(target_word() == slot_word(0) ? 1 : 0));
    ASSERT_EQ(sent_byte(), 'u');
    peer_ = net::Socket();
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   WIN!")) << screen().dump();
    ASSERT_TRUE(screen().wait_text(84, 12, "상대가 게임을 떠났습니다.")) << screen().dump();
    finish();
    EXPECT_EQ(carried(), 10) << "a match the rival left counts as won";
}

// More events at once than any player sends: the rival is taken for gone,
// and the board says why.
TEST_F(MatchTest, AFloodOfEventsEndsTheMatchAsALeaveAndTheBoardSaysWhy) {
    start(Mode::hosting);
    peer_sends(std::string(1000, 'h'));
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   WIN!")) << screen().dump();
    ASSERT_TRUE(screen().wait_text(84, 12, "상대가 게임을 떠났습니다.")) << screen().dump();
    ASSERT_TRUE(
        screen().wait_text(84, 13, "상대 프로그램이 한꺼번에 너무 많이 보내 연결을 끊었습니다."))
        << screen().dump();
    finish();
}

// A joiner whose host greeted it and whose own picture says it lost: LOSE,
// whether the host then goes silent (after a bounded wait for its verdict)
// or closes before its verdict.
TEST_F(MatchTest, AJoinerThatLostOnItsPictureIsShownLoseWhenNoVerdictComes) {
    for (bool closes : {false, true}) {
        SCOPED_TRACE(closes ? "the host closes" : "the host goes silent");
        start(Mode::joining);
        peer_sends("h" + std::string(9, 'u'));
        ASSERT_TRUE(wait_for([](const VtScreen& s) { return tower_height(s, kRivalX) == 12; }))
            << screen().dump();
        if (closes) peer_ = net::Socket();
        ASSERT_TRUE(screen().wait_text(84, 10, "Player   LOSE!", 15s)) << screen().dump();
        screen().with_screen([](const VtScreen& s) {
            EXPECT_EQ(trim(s.text(84, 12, 30)), "") << "no leave: the picture decided";
        });
        finish();
        EXPECT_EQ(result_.outcome, duel::Outcome::lost);
    }
}

TEST_F(MatchTest, JoiningKeepsTheScoreOfAWonMatchAndHostingDoesNot) {
    for (Mode mode : {Mode::joining, Mode::hosting}) {
        start(mode);
        for (int h = 3; h >= 1; --h) {
            ASSERT_TRUE(rival_ready(h)) << screen().dump();
            type_word(target_word());
            ASSERT_EQ(sent_byte(), 'c');
        }
        finish();
        EXPECT_EQ(carried(), mode == Mode::joining ? 30 : 0);
    }
    // A carried score shows on the next board from its start; a lost match
    // resets the joining mode's score too.
    start(Mode::joining, 0, 30);
    ASSERT_TRUE(score_reads("30         ")) << screen().dump();
    peer_sends("ccc");
    finish();
    EXPECT_EQ(carried(), 0);
}

TEST_F(MatchTest, KeysTypedDuringTheResultAndAHalfTypedWordDoNotLeak) {
    start(Mode::joining);
    pty_.type("기다rk");  // half a word, never ended, the last syllable being composed
    ASSERT_TRUE(screen().wait_text(84, 48, "기다가")) << screen().dump();
    peer_sends("ccc");
    ASSERT_TRUE(screen().wait_text(84, 10, "Player   LOSE!")) << screen().dump();
    pty_.type("abc\rdef\r");  // typed while the result stands
    finish();

    // What reads the keyboard next sees only what is typed from now on.
    console::LineInput next;
    std::thread typist([this] { pty_.type("127.0.0.1\r"); });
    std::optional<console::LineRead> read = console::read_line(next, console::Field{102, 25, 20});
    typist.join();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->line, "127.0.0.1");
}

TEST_F(MatchTest, AWordAndAnEventArrivingTogetherAreBothApplied) {
    start(Mode::hosting);
    const std::string word = slot_word(target_word() == slot_word(0) ? 1 : 0);
    std::thread peer([this] { peer_sends("u"); });
    type_word(word);
    peer.join();
    EXPECT_EQ(sent_byte(), 'u');
    ASSERT_TRUE(wait_for([](const VtScreen& s) {
        return tower_height(s, kOwnX) == 4 && tower_height(s, kRivalX) == 4;
    })) << screen().dump();
}

TEST_F(MatchTest, TheResultSaysHowFastAndHowWellThePlayerTyped) {
    start(Mode::hosting);
    type_word("xyz");
    for (int h = 3; h >= 1; --h) {
        ASSERT_TRUE(rival_ready(h)) << screen().dump();
        type_word(target_word());
        ASSERT_EQ(sent_byte(), 'c');
    }
    ASSERT_TRUE(screen().wait_for([](const VtScreen& s) { return !s.row(14).empty(); }))
        << screen().dump();
    std::string figures;
    screen().with_screen([&](const VtScreen& s) { figures = trim(s.text(84, 14, 40)); });
    EXPECT_TRUE(figures.starts_with("타수 ")) << figures;
    EXPECT_TRUE(figures.ends_with("   정확도 75%")) << "3 hits of 4 words: " << figures;
    finish();

    // A match in which nothing was typed says so.
    start(Mode::hosting);
    peer_sends("ccc");
    ASSERT_TRUE(screen().wait_text(84, 14, "입력한 단어가 없습니다.")) << screen().dump();
    finish();
}

TEST(SplitWords, BlanksSeparateWordsAndLongRunsKeepWholeCharacters) {
    using duel::split_words;
    EXPECT_EQ(split_words("  \xBE\xC8\xB3\xE7 \t ab  "),
              (std::deque<std::string>{"\xBE\xC8\xB3\xE7", "ab"}));
    EXPECT_TRUE(split_words("   ").empty());
    EXPECT_TRUE(split_words("").empty());
    EXPECT_EQ(split_words(std::string(200, 'a')), (std::deque<std::string>{std::string(49, 'a')}));
    std::string hangul;
    for (int i = 0; i < 30; ++i) hangul += "\xB0\xA1";  // 가 x 30
    EXPECT_EQ(split_words(hangul).front(), hangul.substr(0, 48))
        << "24 syllables, not 24 and a half";
    EXPECT_EQ(split_words("a" + hangul).front(), "a" + hangul.substr(0, 48));
    EXPECT_EQ(split_words(std::string(48, 'a') + "\xB0\xA1").front(), std::string(48, 'a'));
}

}  // namespace
