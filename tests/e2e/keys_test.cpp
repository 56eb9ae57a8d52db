// The keys a player finds on screen: the menu's Enter, q and p, and Esc
// back to the menu from the joiner's prompt and from a practice match.
#include <gtest/gtest.h>

#include <string>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

constexpr char kEscape[] = "\x1b";

bool menu_shown(const VtScreen& s) {
    return s.text(88, 27, 9) == "E  X I  T" && s.row(31).find("Space, Enter:") != std::string::npos;
}

// Esc, and the question it raises, then Esc again: the menu comes back.
void leave_match(Game& game) {
    game.type(kEscape);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.text(84, 45, 20) == "Esc 한 번 더: 메뉴로";
    })) << game.dump();
    game.type(kEscape);
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
}

TEST(Keys, EnterChoosesEscLeavesThePromptAndQEndsWithZero) {
    Home home;
    Game game(home);
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    game.type(kDown);
    game.type(kEnter);
    ASSERT_TRUE(game.wait_for(prompted)) << game.dump();
    // The prompt's keys show once a key is pressed.
    game.type("1");
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.row(23) == at_cell_80("Enter: 연결   Esc: 메뉴로");
    })) << game.dump();
    game.type(kEscape);
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    game.type("q");
    ASSERT_TRUE(game.proc().wait_exit()) << game.dump();
    EXPECT_EQ(game.proc().exit_code(), 0);
}

// p starts practice; Esc asks, another key answers no, and Esc twice leaves;
// the next p plays again.
TEST(Keys, PStartsPracticeAndEscTwiceComesBackToTheMenu) {
    Home home;
    Game game(home, std::vector<std::string>{"--practice", "50"});
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.text(84, 45, 25) == "Enter: 입력   Esc: 메뉴로";
    })) << game.dump();
    game.type(kEscape);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.text(84, 45, 20) == "Esc 한 번 더: 메뉴로";
    })) << game.dump();
    game.type("a");
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.text(84, 45, 25) == "Enter: 입력   Esc: 메뉴로";
    })) << game.dump();
    leave_match(game);
    game.type("p");
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    leave_match(game);
    game.type(kEscape);
    ASSERT_TRUE(game.proc().wait_exit()) << game.dump();
    EXPECT_EQ(game.proc().exit_code(), 0);
}

}  // namespace
