// Esc back to the menu from the host's wait, and from a duel: the one who
// stays sees that the rival left.
#include <gtest/gtest.h>

#include <string>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

constexpr char kEscape[] = "\x1b";

bool menu_shown(const VtScreen& s) {
    return s.text(88, 27, 9) == "E  X I  T" && s.row(31).find("Space, Enter:") != std::string::npos;
}

TEST(Leave, EscLeavesTheWaitAndTwiceTheDuelAndTheRivalSeesTheLeave) {
    Home home;
    Game host(home);
    Game join(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    host.type("x");  // a key that does nothing here shows the one that does
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.row(23) == at_cell_80("Esc: 메뉴로");
    })) << host.dump();
    host.type(kEscape);
    ASSERT_TRUE(host.wait_for(menu_shown)) << host.dump();
    // The menu works as at the start: a new wait on the same port.
    host.type(kEnter);
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();

    join.join();
    join.type("127.0.0.1\r");
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    join.type(kEscape);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return s.text(84, 45, 20) == "Esc 한 번 더: 메뉴로";
    })) << join.dump();
    join.type(kEscape);
    ASSERT_TRUE(join.wait_for(menu_shown)) << join.dump();
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return result_shown(s, "Player   WIN!") && s.text(84, 12, 25) == kRivalLeft;
    })) << host.dump();
    ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
}

}  // namespace
