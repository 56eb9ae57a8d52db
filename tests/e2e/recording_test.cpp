// The matches the game plays go to the player's history, and come back on
// the screens: the best 타수 under a result, the practice rival's speed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

constexpr char kHeader[] =
    "# taja-duel history 1\n"
    "time\tmode\trival\toutcome\tscore\tkeys_per_minute\taccuracy\twords\thits\tseconds\n";

std::vector<std::vector<std::string>> fields_of_lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
        lines.push_back(fields);
    }
    return lines;
}

bool next_match(const VtScreen& s) {
    return match_running(s) && !result_shown(s, "Player   LOSE!");
}

bool lost_and_noted(const VtScreen& s, const std::string& note) {
    return result_shown(s, "Player   LOSE!") && s.row(16) == at_cell_80("    " + note);
}

// A practice with no SPEED starts its rival at the player's recent level and
// says so; each match is a whole line of the file, and the result shows the
// best 타수 of the history.
TEST(Recording, PracticeFollowsTheHistoryAndEveryMatchIsALine) {
    Home home;
    const std::string file = home.path() + "/state/taja-duel/history.tsv";
    std::filesystem::create_directories(home.path() + "/state/taja-duel");
    std::ofstream(file) << kHeader
                        << "2026-02-01T03:00:00Z\tpractice\t200\twon\t30\t1200\t90\t10\t9\t60\n";

    Game game(home, std::vector<std::string>{"--practice"});
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return match_running(s) &&
               s.row(39) == at_cell_80("    최근 타수에 맞춘 연습 상대: 1000타/분");
    })) << game.dump();
    game.type_slot_word(0);
    // The line under the result comes once the match is on the disk.
    ASSERT_TRUE(game.wait_for(
        [](const VtScreen& s) { return result_shown(s, "Player   LOSE!") && !s.row(16).empty(); },
        20s))
        << game.dump();
    // The typed word's 타수, if its keys took a measurable time, may have
    // beaten the best.
    auto lines = fields_of_lines(file);
    ASSERT_EQ(lines.size(), 4u);
    ASSERT_EQ(lines[3].size(), 10u);
    const int typed = lines[3][5].empty() ? 0 : std::stoi(lines[3][5]);
    const std::string best = typed > 1200 ? "최고 타수 " + std::to_string(typed) + "타/분 새 기록!"
                                          : std::string("최고 타수 1200타/분");
    ASSERT_TRUE(game.wait_for([&](const VtScreen& s) { return lost_and_noted(s, best); }))
        << game.dump();
    // The next match, with no key typed: the best stands, unmarked.
    ASSERT_TRUE(game.wait_for(next_match, kMatchEnd)) << game.dump();
    const std::string unmarked = best.substr(0, best.find(" 새 기록!"));
    ASSERT_TRUE(game.wait_for([&](const VtScreen& s) { return lost_and_noted(s, unmarked); }, 20s))
        << game.dump();

    lines = fields_of_lines(file);
    ASSERT_EQ(lines.size(), 5u);
    for (int i : {3, 4}) {
        ASSERT_EQ(lines[i].size(), 10u);
        EXPECT_EQ(lines[i][1], "practice");
        EXPECT_EQ(lines[i][2], "1000");
        EXPECT_EQ(lines[i][3], "lost");
    }
    EXPECT_EQ(lines[3][7], "1") << "one word entered";
    EXPECT_EQ(lines[3][8], "1") << "and it hit";
    EXPECT_EQ(lines[3][6], "100");
    EXPECT_EQ(lines[4][7], "0");
    EXPECT_EQ(lines[4][5], "") << "no 타수 without a key";
    EXPECT_EQ(lines[4][6], "") << "nor 정확도";
}

// A history that cannot be written costs the player nothing but the record:
// the result says so, and the next match comes as ever.
TEST(Recording, AStateFolderThatCannotBeWrittenStillPlaysAndSaysTheMatchIsNotRecorded) {
    Home home;
    std::ofstream(home.path() + "/state") << "a file where the folder would be\n";
    Game game(home, {"--practice", "1000"});
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    ASSERT_TRUE(game.wait_for(
        [](const VtScreen& s) {
            return result_shown(s, "Player   LOSE!") &&
                   s.row(16).rfind(at_cell_80("    기록하지 못했습니다: "), 0) == 0;
        },
        20s))
        << game.dump();
    ASSERT_TRUE(game.wait_for(next_match, kMatchEnd)) << game.dump();
}

}  // namespace
