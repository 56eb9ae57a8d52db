// The real program in a 169x50 pseudo-terminal: start-up, the main menu, and
// leaving it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "support/colours.h"
#include "support/pty_process.h"

namespace {

using taja::test::palette_of;
using taja::test::PtyProcess;
using taja::test::terminal_full;
using taja::test::VtScreen;
namespace keys = taja::test;

const char* const kLogoRows[] = {
    "  ########     ########    #######    #               #  ########   #######",
    " #             #           #      #    #             #   #          #      #",
    "#              #           #       #    #           #    #          #       #",
    " #             #           #      #      #         #     #          #      #",
    "  ########     #######     #######        #       #      #######    #######",
    "          #    #           #     #         #     #       #          #     #",
    "           #   #           #      #         #   #        #          #      #",
    "          #    #           #       #         # #         #          #       #",
    "  ########     ########    #        #         #          ########   #        #",
};
constexpr char kFrameTop[] = "┌────────────┐";
constexpr char kFrameBottom[] = "└────────────┘";

// The frame's two lines stand at these rows (cells 85 to 98), in `colour`.
bool frame_at(const VtScreen& s, int top, int colour) {
    return s.text(85, top, 14) == kFrameTop && s.text(85, top + 2, 14) == kFrameBottom &&
           s.cell(85, top).fg == palette_of(colour) && s.cell(98, top + 2).fg == palette_of(colour);
}

bool blank(const VtScreen& s, int x, int y, int n) {
    return s.text(x, y, n) == std::string(static_cast<std::size_t>(n), ' ');
}

bool menu_shown(const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }

// Where the first cursor placement after `mark` in the program's output goes,
// as "row;col" (1-based, as CUP writes it); empty if there is none.
std::string first_placement_after(const std::string& output, std::size_t mark) {
    std::size_t at = output.find("\x1b[", mark);
    while (at != std::string::npos) {
        std::size_t end = output.find_first_not_of("0123456789;", at + 2);
        if (end != std::string::npos && output[end] == 'H')
            return output.substr(at + 2, end - at - 2);
        at = output.find("\x1b[", at + 2);
    }
    return "";
}

class Menu : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump(); }
    PtyProcess game;
};

TEST_F(Menu, LogoLettersStandAtTheirCellsInTheirColours) {
    struct Letter {
        int x;
        int colour;
    };
    const Letter letters[] = {{55, 12}, {70, 14}, {82, 10}, {93, 11}, {112, 9}, {123, 13}};
    game.screen().with_screen([&](const VtScreen& s) {
        for (int row = 0; row < 9; ++row) {
            std::string line = s.text(55, 11 + row, 78);
            line.erase(line.find_last_not_of(' ') + 1);
            EXPECT_EQ(line, kLogoRows[row]) << "row " << 11 + row;
            for (int x = 55; x < 133; ++x) {
                if (s.cell(x, 11 + row).text != "#") continue;
                int colour = 0;
                for (const Letter& l : letters) {
                    if (x >= l.x) colour = l.colour;
                }
                EXPECT_EQ(s.cell(x, 11 + row).fg, palette_of(colour))
                    << "cell " << x << "," << 11 + row;
            }
        }
        EXPECT_TRUE(s.row(10).empty());
        EXPECT_TRUE(s.row(20).empty());
    });
}

TEST_F(Menu, ItemsAndFirstFrameInTheirColoursCursorHidden) {
    game.screen().with_screen([&](const VtScreen& s) {
        EXPECT_TRUE(frame_at(s, 22, 15)) << s.dump();
        EXPECT_TRUE(blank(s, 84, 22, 1));
        EXPECT_EQ(s.text(86, 23, 11), " 서버 만들기");
        EXPECT_EQ(s.cell(87, 23).fg, palette_of(13));
        EXPECT_EQ(s.cell(87, 23).width, 2);
        EXPECT_EQ(s.text(86, 25, 10), "  서버 접속");
        EXPECT_EQ(s.cell(88, 25).fg, palette_of(11));
        EXPECT_EQ(s.text(86, 27, 11), "  E  X I  T");
        EXPECT_EQ(s.cell(88, 27).fg, palette_of(7));
        EXPECT_TRUE(s.row(26).empty());
        EXPECT_TRUE(s.row(28).empty());
        EXPECT_FALSE(s.cursor_visible());
        EXPECT_TRUE(s.altscreen());
    });
}

TEST_F(Menu, MovingDownTurnsTheFrameGreyAndErasesTheOldTopLine) {
    game.type(keys::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); })) << game.dump();
    game.screen().with_screen(
        [](const VtScreen& s) { EXPECT_TRUE(s.row(22).empty()) << s.dump(); });
    game.type(keys::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 26, 7); })) << game.dump();
    game.type(keys::kUp);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); })) << game.dump();
    game.screen().with_screen(
        [](const VtScreen& s) { EXPECT_TRUE(s.row(28).empty()) << s.dump(); });
    game.type(keys::kUp);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 22, 7); })) << game.dump();
    game.screen().with_screen(
        [](const VtScreen& s) { EXPECT_TRUE(s.row(26).empty()) << s.dump(); });
}

TEST_F(Menu, UpAtTheFirstItemDrawsNothing) {
    std::size_t mark = game.screen().output().size();
    game.type(keys::kUp);
    game.type(keys::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); })) << game.dump();
    // The first drawing after the Up is the Down's eraser on row 22.
    EXPECT_EQ(first_placement_after(game.screen().output(), mark), "23;85");
}

TEST_F(Menu, ArrowPrefixByteAloneAndLowerCaseLettersChangeNothing) {
    std::size_t mark = game.screen().output().size();
    game.type("\xe0");  // the console's arrow prefix typed as a byte
    game.type("x");
    game.type("h");
    game.type("\x1b[C\x1b[D");  // right and left
    game.type("P");
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); })) << game.dump();
    EXPECT_EQ(first_placement_after(game.screen().output(), mark), "23;85");
    game.type("H");
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 22, 7); })) << game.dump();
}

TEST_F(Menu, AResizeBelowTheBoardAndBackBringsTheMenuBackAsItStood) {
    game.type(keys::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); })) << game.dump();
    std::string before;
    game.screen().with_screen([&](const VtScreen& s) { before = s.dump(); });
    game.resize(80, 24);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.row(1).find("80x24") != std::string::npos;
    })) << game.dump();
    game.resize(169, 50);
    EXPECT_TRUE(game.wait_for([&](const VtScreen& s) { return s.dump() == before; }))
        << game.dump() << "\nbefore:\n"
        << before;
    // And the menu goes on from where it was.
    game.type(keys::kDown);
    EXPECT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 26, 7); })) << game.dump();
}

TEST_F(Menu, CtrlZDoesNotStopTheProgram) {
    game.type("\x1a");
    game.type(keys::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); })) << game.dump();
    EXPECT_FALSE(game.exited());
}

TEST_F(Menu, DownThreeTimesThenSpaceExitsWithZeroAndRestoresTheTerminal) {
    game.type(keys::kDown);
    game.type(keys::kDown);
    game.type(keys::kDown);  // already at the last item: changes nothing
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 26, 7); })) << game.dump();
    EXPECT_FALSE(game.line_mode());
    game.type(" ");
    ASSERT_TRUE(game.wait_exit());
    EXPECT_EQ(game.exit_code(), 0);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return !s.altscreen() && s.cursor_visible();
    })) << game.dump();
    EXPECT_TRUE(game.line_mode());
}

struct ExitSignal {
    const char* name;
    int signal;
};

void PrintTo(const ExitSignal& s, std::ostream* os) { *os << s.name; }

class EndedBySignal : public ::testing::TestWithParam<ExitSignal> {};

TEST_P(EndedBySignal, RestoresTheTerminal) {
    PtyProcess game;
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    if (GetParam().signal == SIGINT) {
        game.type(keys::kCtrlC);
    } else {
        ::kill(game.pid(), GetParam().signal);
    }
    ASSERT_TRUE(game.wait_exit());
    EXPECT_EQ(game.term_signal(), GetParam().signal);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return !s.altscreen() && s.cursor_visible();
    })) << game.dump();
    EXPECT_TRUE(game.line_mode());
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedBySignal,
                         ::testing::Values(ExitSignal{"CtrlC", SIGINT}, ExitSignal{"Term", SIGTERM},
                                           ExitSignal{"Hangup", SIGHUP},
                                           ExitSignal{"Crash", SIGSEGV}),
                         [](const auto& info) { return std::string(info.param.name); });

// Stops reading the menu's terminal, and moves in the menu and resizes the
// terminal until it is full: each move draws the frame again, each resize
// the whole screen, and the terminal takes none of it. False if it never
// filled.
bool stall_in_write(PtyProcess& game) {
    game.screen().pause();
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (int i = 0; !terminal_full(game.pid()) && std::chrono::steady_clock::now() < until; ++i) {
        game.type(i % 2 ? keys::kUp : keys::kDown);
        game.resize(i % 2 ? 169 : 168, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    game.resize(169, 50);
    return terminal_full(game.pid());
}

TEST(StalledTerminal, TermEndsTheProgramAndRestoresTheTerminal) {
    PtyProcess game;
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    ASSERT_TRUE(stall_in_write(game));

    ::kill(game.pid(), SIGTERM);
    ASSERT_TRUE(game.wait_exit()) << "a drawing step stuck in its write kept the program alive";
    EXPECT_EQ(game.term_signal(), SIGTERM);
    EXPECT_TRUE(game.line_mode());
    game.screen().resume();
    EXPECT_TRUE(game.wait_for([](const VtScreen& s) {
        return !s.altscreen() && s.cursor_visible();
    })) << game.dump();
}

// A frozen session that is resized: the redraw for the resize cannot be
// written either, and still every ending signal ends the program.
class StalledAndResized : public ::testing::TestWithParam<ExitSignal> {};

TEST_P(StalledAndResized, EndsTheProgramAndRestoresTheTerminal) {
    PtyProcess game;
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    ASSERT_TRUE(stall_in_write(game));
    game.resize(80, 24);
    game.resize(169, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the resizes are taken

    ::kill(game.pid(), GetParam().signal);
    ASSERT_TRUE(game.wait_exit(std::chrono::seconds(5)));
    EXPECT_EQ(game.term_signal(), GetParam().signal);
    EXPECT_TRUE(game.line_mode());
}

INSTANTIATE_TEST_SUITE_P(Signals, StalledAndResized,
                         ::testing::Values(ExitSignal{"Int", SIGINT}, ExitSignal{"Term", SIGTERM},
                                           ExitSignal{"Hangup", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SmallTerminal, ShowsTheSizeNeededUntilEnlarged) {
    PtyProcess game(TAJA_DUEL_BIN, 80, 24);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.row(0).find("169x50") != std::string::npos &&
               s.row(1).find("80x24") != std::string::npos;
    })) << game.dump();
    game.resize(120, 40);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.row(1).find("120x40") != std::string::npos;
    })) << game.dump();
    game.resize(169, 50);
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    game.screen().with_screen(
        [](const VtScreen& s) { EXPECT_TRUE(frame_at(s, 22, 15)) << s.dump(); });
}

}  // namespace
