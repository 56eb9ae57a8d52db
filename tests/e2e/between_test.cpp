// Between two practice matches: the countdown, the tally and how the player
// compared stand under the result, and the next board deals other words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

std::string slot_words(const VtScreen& s) {
    std::string words;
    for (int k = 0; k < 5; ++k) words += slot_word(s, k) + " ";
    return words + target_word(s);
}

TEST(Between, CountdownTallyAndComparisonStandAndTheNextPracticeDealsAfresh) {
    Home home;
    Game game(home, std::vector<std::string>{"--practice", "1000", "--no-music"});
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    const std::string first = game.look(slot_words);
    // A silent player loses to the rival.
    ASSERT_TRUE(game.wait_for(
        [](const VtScreen& s) {
            return result_shown(s, "Player   LOSE!") &&
                   s.text(84, 20, 25) == "이 상대와 이번에: 0승 1패" &&
                   s.text(84, 21, 30) == "내 타수 -, 연습 상대 1000타/분";
        },
        30s))
        << game.dump();
    for (const char* left : {"2", "1"}) {
        ASSERT_TRUE(game.wait_for([&](const VtScreen& s) {
            return s.text(84, 19, 12) == std::string("다음 경기: ") + left;
        })) << game.dump();
    }
    ASSERT_TRUE(game.wait_for(
        [](const VtScreen& s) { return match_running(s) && s.row(10).empty(); }, kMatchEnd))
        << game.dump();
    EXPECT_NE(game.look(slot_words), first);
}

TEST(Between, NoColourDrawsEveryTextInTheDefaultColours) {
    Home home;
    std::map<std::string, std::string> env = home.environment();
    env["NO_COLOR"] = "1";
    PtyProcess game(TAJA_DUEL_BIN, 169, 50, env);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }))
        << game.dump();
    game.screen().with_screen([](const VtScreen& s) {
        for (int y = 0; y < s.rows(); ++y) {
            for (int x = 0; x < s.cols(); ++x) {
                if (s.cell(x, y).text.empty()) continue;
                EXPECT_EQ(s.cell(x, y).fg, -1) << x << "," << y;
            }
        }
    });
}

}  // namespace
