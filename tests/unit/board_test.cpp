#include "duel/board.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "console/console.h"
#include "duel/random.h"
#include "duel/tables.h"
#include "support/pty_process.h"

namespace {

using taja::test::PtyConsole;
using taja::test::VtScreen;

constexpr int kSeaDraws = 50;
constexpr int kOwnBlocks = 3;

// The palette entry the terminal shows for a console attribute: the console
// numbers blue 1 and red 4, the terminal's palette red 1 and blue 4.
int palette(int attr) {
    static constexpr int kPalette[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};
    return kPalette[attr];
}
constexpr int kCyan = 6;  // attribute 3, the sea
constexpr int kGrey = 7;  // attribute 7

std::string spaces(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

// A fresh terminal for the console to draw on, cleared as the mode clears it
// before a board.
class Terminal {
  public:
    Terminal() { console::clear_screen(); }

    // Prints `mark` where the cursor is and waits until it shows at (x, y).
    // Everything drawn before it has then reached the screen.
    bool mark_shows_at(int x, int y, const char* mark = "#") {
        console::print_text("%s", mark);
        return pty_.screen().wait_for([&](const VtScreen& s) { return s.cell(x, y).text == mark; });
    }

    // Runs `look` on the screen; any failure inside it shows the screen.
    void look(const std::function<void(const VtScreen&)>& look) {
        pty_.screen().with_screen([&](const VtScreen& s) {
            SCOPED_TRACE("screen:\n" + s.dump());
            look(s);
        });
    }

    std::string dump() { return pty_.screen().dump(); }

  private:
    PtyConsole pty_;
};

// Every cell from x0 to x1 of row y shows foreground `fg`.
void expect_fg(const VtScreen& s, int x0, int x1, int y, int fg) {
    for (int x = x0; x <= x1; ++x) {
        if (s.cell(x, y).width == 0) continue;  // the right half of a syllable
        EXPECT_EQ(s.cell(x, y).fg, fg) << "cell " << x << " of row " << y;
    }
}

// Every cell from x0 to x1 of row y has been written (a blank written on
// purpose is a space; a cell never written holds nothing).
void expect_written(const VtScreen& s, int x0, int x1, int y) {
    for (int x = x0; x <= x1; ++x) {
        const taja::test::Cell c = s.cell(x, y);
        EXPECT_TRUE(!c.text.empty() || c.width == 0) << "cell " << x << " of row " << y;
    }
}

void expect_never_written(const VtScreen& s, int x0, int x1, int y) {
    for (int x = x0; x <= x1; ++x) {
        EXPECT_EQ(s.cell(x, y).text, "") << "cell " << x << " of row " << y;
    }
}

struct NameCase {
    int index;
    int x;             // first cell the name's format writes
    int cells;         // how many cells it writes
    const char* text;  // what it writes there
};

// Every name the draws can pick, in the format its byte length selects:
// 4, 6 and 8 bytes centred in cells 153 to 160, 2 bytes at cell 156 followed
// by four spaces.
const NameCase kNameCases[] = {
    {0, 153, 8, "  고래  "}, {1, 156, 6, "게    "},   {2, 153, 8, " 갈매기 "},
    {3, 153, 8, "  상어  "}, {4, 153, 8, "  문어  "}, {5, 153, 8, "  해마  "},
    {6, 153, 8, "불가사리"},
};

class BoardTest : public ::testing::Test {
  protected:
    // The rival's tower at the start of the board.
    int rival_height = 3;

    // The values the next `n` draws take after `skip` draws from the start of
    // the sequence; the generator is then set back to `skip` draws.
    static std::vector<int> draws_after(int skip, int n) {
        duel::reset_random();
        for (int i = 0; i < skip; ++i) duel::next_random();
        std::vector<int> values;
        for (int i = 0; i < n; ++i) values.push_back(duel::next_random());
        duel::reset_random();
        for (int i = 0; i < skip; ++i) duel::next_random();
        return values;
    }

    // The number of earlier draws after which the rival name's draw is
    // `wanted` (tested on each draw value).
    int skip_for_name(const std::function<bool(int)>& wanted) {
        const int name_draw = kSeaDraws + kOwnBlocks + rival_height;
        duel::reset_random();
        std::vector<int> seq;
        for (int i = 0; i <= name_draw; ++i) seq.push_back(duel::next_random());
        for (int skip = 0;; ++skip) {
            if (wanted(seq[static_cast<std::size_t>(skip + name_draw)])) return skip;
            seq.push_back(duel::next_random());
        }
    }

    // Draws the sea and the board on `term` as a match starts, after `skip`
    // draws, and waits until it stands on the screen: a mark printed
    // afterwards must land at (0, 0). Returns the draws it took.
    std::vector<int> draw_after(Terminal& term, int skip) {
        std::vector<int> d = draws_after(skip, kSeaDraws + kOwnBlocks + rival_height + 1);
        duel::draw_sea();
        duel::draw_board(rival_height);
        EXPECT_TRUE(term.mark_shows_at(0, 0)) << term.dump();
        return d;
    }
};

TEST_F(BoardTest, SeaShowsFiftyPositionsAsTheDrawsDecide) {
    Terminal term;
    const std::vector<int> d = draw_after(term, 0);
    term.look([&](const VtScreen& s) {
        int gaps = 0;
        for (int i = 0; i < kSeaDraws; ++i) {
            const int x = 21 + 3 * i;
            const bool gap = d[static_cast<std::size_t>(i)] % 6 == 0;
            gaps += gap;
            EXPECT_EQ(s.cell(x, 36).text, gap ? " " : "~") << "sea position " << i;
            EXPECT_EQ(s.cell(x, 36).fg, kCyan) << "sea position " << i;
            if (i + 1 < kSeaDraws) expect_never_written(s, x + 1, x + 2, 36);
        }
        expect_never_written(s, 0, 20, 36);
        EXPECT_GT(gaps, 0) << "the draws chosen should show at least one gap";
    });
}

TEST_F(BoardTest, TowersTakeOneDrawnColourPerBlockAndTheTargetBoxTakesItsBlocks) {
    Terminal term;
    const std::vector<int> d = draw_after(term, 0);
    const std::string block = "  (              )";
    term.look([&](const VtScreen& s) {
        for (int n = 1; n <= 3; ++n) {
            SCOPED_TRACE("block " + std::to_string(n));
            const int row = 36 - n;
            const int own = 9 + d[static_cast<std::size_t>(kSeaDraws + n - 1)] % 7;
            const int rival = 9 + d[static_cast<std::size_t>(kSeaDraws + kOwnBlocks + n - 1)] % 7;
            EXPECT_EQ(s.text(48, row, 18), block);
            expect_written(s, 48, 65, row);
            expect_fg(s, 48, 65, row, palette(own));
            EXPECT_EQ(s.text(111, row, 18), n == 3 ? "  ( (          ) )" : block);
            expect_written(s, 111, 128, row);
            expect_fg(s, 111, 128, row, palette(rival));
            // Nothing beside or between the towers.
            EXPECT_EQ(s.row(row),
                      spaces(48) + s.text(48, row, 18) + spaces(111 - 66) + s.text(111, row, 18));
        }
        EXPECT_EQ(s.row(32), "") << "no fourth block";
    });
}

TEST_F(BoardTest, FramesAndLabelsStandInGrey) {
    Terminal term;
    draw_after(term, 0);
    const std::string name_top = "┏───────────┓";
    const std::string name_bottom = "┗───────────┛";
    const std::string slot = " (            )";
    term.look([&](const VtScreen& s) {
        EXPECT_EQ(s.row(1), spaces(21) + name_top + spaces(150 - 34) + name_top);
        EXPECT_EQ(s.row(3), spaces(21) + name_bottom + spaces(150 - 34) + name_bottom);
        for (int y : {1, 3}) {
            expect_fg(s, 21, 33, y, kGrey);
            expect_fg(s, 150, 162, y, kGrey);
        }
        // Row 2: an empty left name box, the score label with no number yet.
        expect_never_written(s, 0, 86, 2);
        EXPECT_EQ(s.text(87, 2, 7), "점수 : ");
        expect_written(s, 87, 93, 2);
        expect_fg(s, 87, 93, 2, kGrey);
        expect_never_written(s, 94, 152, 2);

        EXPECT_EQ(s.row(37), spaces(54) + "[player]" + spaces(117 - 62) + "[BOT_AI]");
        expect_fg(s, 54, 61, 37, kGrey);
        expect_fg(s, 117, 124, 37, kGrey);

        EXPECT_EQ(s.row(42), spaces(36) + slot + spaces(9) + slot + spaces(9) + slot + spaces(9) +
                                 slot + spaces(9) + slot);
        for (int k = 0; k < 5; ++k) expect_fg(s, 36 + 24 * k, 50 + 24 * k, 42, kGrey);

        EXPECT_EQ(s.row(47), spaces(81) + "┏──────────────────┓");
        EXPECT_EQ(s.row(48), "");
        EXPECT_EQ(s.row(49), spaces(81) + "┗──────────────────┛");
        expect_fg(s, 81, 100, 47, kGrey);
        expect_fg(s, 81, 100, 49, kGrey);

        for (int y : {4, 30, 31, 32, 38, 41, 43, 46}) EXPECT_EQ(s.row(y), "") << "row " << y;
    });
}

TEST_F(BoardTest, TakesFiftySevenDrawsAndEndsWithTheCursorHomeAndGreyInForce) {
    Terminal term;
    const int taken = static_cast<int>(draw_after(term, 0).size());  // its mark landed at (0, 0)
    EXPECT_EQ(taken, 57);
    const int next = duel::next_random();
    EXPECT_EQ(next, draws_after(taken, 1)[0]) << "the board took more draws";
    term.look([&](const VtScreen& s) {
        EXPECT_EQ(s.cell(0, 0).fg, kGrey);
        EXPECT_EQ(s.cursor().x, 1);
        EXPECT_EQ(s.cursor().y, 0);
    });
}

TEST_F(BoardTest, DrawsAsManyRivalBlocksAsTheRivalHeightAndTheNameAfterThem) {
    rival_height = 5;
    Terminal term;
    const std::vector<int> d = draw_after(term, 0);
    term.look([&](const VtScreen& s) {
        for (int n = 1; n <= 5; ++n) {
            const int attr = 9 + d[static_cast<std::size_t>(kSeaDraws + kOwnBlocks + n - 1)] % 7;
            expect_fg(s, 111, 128, 36 - n, palette(attr));
        }
        EXPECT_EQ(s.text(111, 33, 18), "  ( (          ) )") << "the box stays on block 3";
        EXPECT_EQ(s.text(111, 31, 18), "  (              )");
        EXPECT_EQ(s.text(111, 30, 18), spaces(18)) << "no sixth block";
        EXPECT_EQ(s.text(48, 32, 18), spaces(18)) << "the own tower stays at 3";
    });
    // The name takes the draw after the fifth rival block.
    const NameCase& name = kNameCases[d.back() % 7];
    term.look([&](const VtScreen& s) { EXPECT_EQ(s.text(name.x, 2, name.cells), name.text); });
}

TEST_F(BoardTest, RivalNameInTheFormatOfItsLength) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE("name " + std::to_string(c.index));
        const int skip = skip_for_name([&](int r) { return r % 7 == c.index; });
        Terminal term;  // a fresh screen for each name
        draw_after(term, skip);
        term.look([&](const VtScreen& s) {
            EXPECT_EQ(s.text(c.x, 2, c.cells), c.text);
            expect_written(s, c.x, c.x + c.cells - 1, 2);
            expect_fg(s, c.x, c.x + c.cells - 1, 2, kGrey);
            expect_never_written(s, 150, c.x - 1, 2);
            expect_never_written(s, c.x + c.cells, 168, 2);
        });
    }
}

TEST_F(BoardTest, TheEighthNameNeverShows) {
    // A draw that would pick the eighth name if names were drawn from all
    // eight still shows one of the first seven.
    const int skip = skip_for_name([](int r) { return r % 8 == 7; });
    Terminal term;
    const std::vector<int> d = draw_after(term, skip);
    const NameCase& shown = kNameCases[d.back() % 7];
    term.look([&](const VtScreen& s) {
        EXPECT_EQ(s.text(shown.x, 2, shown.cells), shown.text);
        EXPECT_EQ(s.dump().find("바다거북"), std::string::npos);
    });
}

// A word of each length in the target box on row 20, in a bright colour set
// before the call: it fills cells 117 to 124 in that colour, and the colour
// stays in force (the mark printed right after the word takes it too).
TEST(TargetWord, EachLengthFillsTheFieldInTheAttributeInForce) {
    struct Case {
        int index;
        const char* shown;
    };
    for (const Case& c : {Case{0, "  안녕  "}, Case{1, " 갑자기 "}, Case{12, "채취하다"}}) {
        SCOPED_TRACE("word " + std::to_string(c.index));
        Terminal term;
        console::set_color(13);
        duel::draw_target_word(static_cast<int>(std::strlen(duel::word_table[c.index])), c.index,
                               20);
        ASSERT_TRUE(term.mark_shows_at(125, 20)) << term.dump();
        term.look([&](const VtScreen& s) {
            EXPECT_EQ(s.text(117, 20, 8), c.shown);
            expect_written(s, 117, 124, 20);
            expect_fg(s, 117, 125, 20, palette(13));
            expect_never_written(s, 0, 116, 20);
        });
    }
}

TEST(TargetWord, AShortWordLeavesNoTraceOfALongerOne) {
    Terminal term;
    console::set_color(7);
    duel::draw_target_word(8, 47, 33);  // 오들오들
    duel::draw_target_word(4, 0, 33);   // 안녕
    ASSERT_TRUE(term.mark_shows_at(125, 33)) << term.dump();
    term.look([&](const VtScreen& s) { EXPECT_EQ(s.row(33), spaces(117) + "  안녕  #"); });
}

TEST(TargetWord, NothingForALengthWithoutAFormatOrAWordOutsideTheTable) {
    Terminal term;
    console::set_cursor(5, 5);
    for (int length : {0, 2, 5, 7, 10, -4}) duel::draw_target_word(length, 0, 33);
    for (int index : {-1, 48, 1000}) duel::draw_target_word(4, index, 33);
    ASSERT_TRUE(term.mark_shows_at(5, 5)) << term.dump();  // the cursor stayed
    term.look([&](const VtScreen& s) { EXPECT_EQ(s.row(33), ""); });
}

}  // namespace
