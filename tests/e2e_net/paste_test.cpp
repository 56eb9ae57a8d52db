// A slot word pasted into the word field is no typing: nothing is raised,
// nothing is sent, and the field says why.
#include <gtest/gtest.h>

#include <string>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

TEST(Paste, ABracketedPasteInTheWordFieldRaisesAndSendsNothing) {
    Home home;
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    const std::string word = host.look([](const VtScreen& s) {
        return slot_word(s, 0) == target_word(s) ? slot_word(s, 1) : slot_word(s, 0);
    });
    host.type("\x1b[200~" + word + "\r\x1b[201~");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.text(102, 48, 28) == "붙여넣은 글은 받지 않습니다.";
    })) << host.dump();
    EXPECT_EQ(read_byte(peer.fd(), 500ms), std::nullopt);
    host.proc().screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(own_tower(s), 3);
        EXPECT_EQ(trim(s.text(84, 48, 15)), "");
    });
    // The same word typed raises the tower.
    host.type(word + "\r");
    EXPECT_EQ(read_byte(peer.fd()), 'u');
}

}  // namespace
