// What the board says while the player types: the words the typed text
// begins, a word that hit nothing, the 타수 so far.
#include <gtest/gtest.h>

#include <string>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

// The first cell of slot word k, by its byte length (2 bytes a syllable in
// CP949, 3 in UTF-8).
int slot_word_x(const std::string& utf8, int k) {
    const int cells = static_cast<int>(utf8.size() / 3 * 2);
    return 39 + 24 * k + (10 - cells) / 2;
}

TEST(Feedback, TypedLettersMarkTheirWordsAMissIsMarkedAndTheSpeedShows) {
    Home home;
    Game game(home, std::vector<std::string>{"--practice", "50"});
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    // A slot word that is not the target word and shares no first syllable
    // with another slot.
    int k = 0;
    std::string word;
    game.proc().screen().with_screen([&](const VtScreen& s) {
        for (k = 0; k < 5; ++k) {
            word = slot_word(s, k);
            bool shared = word.substr(0, 3) == target_word(s).substr(0, 3);
            for (int j = 0; j < 5; ++j)
                shared = shared || (j != k && slot_word(s, j).substr(0, 3) == word.substr(0, 3));
            if (!shared) return;
        }
    });
    ASSERT_LT(k, 5) << game.dump();
    const int x = slot_word_x(word, k);

    game.type(word.substr(0, 3));
    ASSERT_TRUE(game.wait_for([&](const VtScreen& s) {
        return s.cell(x, 42).underline && !s.cell(x - 1, 42).underline &&
               !s.cell(slot_word_x(slot_word(s, (k + 1) % 5), (k + 1) % 5), 42).underline;
    })) << game.dump();
    game.type("\x7f");
    ASSERT_TRUE(game.wait_for([&](const VtScreen& s) { return !s.cell(x, 42).underline; }))
        << game.dump();

    game.type("가나다");
    game.type("\r");
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return s.text(102, 48, 9) == "없는 단어" && s.text(108, 2, 5) == "타수 ";
    })) << game.dump();
    // Gone with the next key.
    game.type("x");
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return s.text(102, 48, 9) == "         "; }))
        << game.dump();
}

}  // namespace
