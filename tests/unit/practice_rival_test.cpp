// The practice rival on a local connection of its own, the test at the
// player's end: what it sends, what it makes of what it receives, and that
// it stops.
#include "duel/practice_rival.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "net/local_link.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The next byte from the rival within `limit`; nothing when none came, or
// when the connection ended.
std::optional<char> next_byte(int fd, std::chrono::milliseconds limit) {
    if (net::wait_readable(fd, limit) != net::Readable::yes) return std::nullopt;
    char byte;
    if (net::receive_bytes(fd, &byte, 1) != 1) return std::nullopt;
    return byte;
}

// The rival's end closes once it has been destroyed: the end of the stream,
// with nothing before it.
bool ended_with_nothing_more(int fd) {
    char byte;
    return net::wait_readable(fd, 5s) == net::Readable::yes &&
           net::receive_bytes(fd, &byte, 1) == 0;
}

TEST(RivalPicture, KnocksWhileThePlayerStandsAsHighRaisesOtherwiseAndFollowsThePlayer) {
    duel::RivalPicture p;
    EXPECT_EQ(p.play_own(), 'c');  // 3 against 3
    EXPECT_EQ(p.play_own(), 'u');  // the player's 2 against 3
    p.take_players('u');
    p.take_players('x');  // no event
    p.take_players('u');
    EXPECT_EQ(p.players(), 4);
    EXPECT_EQ(p.play_own(), 'c');  // 4 against 4
    p.take_players('c');
    EXPECT_EQ(p.own(), 3);
    EXPECT_EQ(p.play_own(), 'c');  // the player's 3 against 3
    EXPECT_FALSE(p.over());
    for (int i = 0; i < 10; ++i) p.take_players('u');
    EXPECT_TRUE(p.over());  // the player's twelfth block
}

TEST(PracticeRival, AgainstASilentPlayerItKnocksOnceThenRaisesToTwelveAndStops) {
    net::LocalPair pair = net::local_pair();
    ASSERT_TRUE(pair.ok());
    std::optional<duel::PracticeRival> rival(std::in_place, std::move(pair.other), 60000);
    std::string sent;
    while (sent.size() < 10) {
        std::optional<char> byte = next_byte(pair.one.fd(), 5s);
        if (!byte) break;
        sent += *byte;
    }
    EXPECT_EQ(sent, "cuuuuuuuuu");
    // At a keystroke a millisecond, a dozen more words would have come by now.
    EXPECT_EQ(next_byte(pair.one.fd(), 300ms), std::nullopt);
    rival.reset();
    EXPECT_TRUE(ended_with_nothing_more(pair.one.fd()));
}

TEST(PracticeRival, ThePlayersKnocksTakeItsBlocksAndItsLastOneEndsItsMatch) {
    net::LocalPair pair = net::local_pair();
    ASSERT_TRUE(pair.ok());
    // At 1000 keystrokes a minute its first word takes a third of a second
    // at the very least: the three knocks come first.
    std::optional<duel::PracticeRival> rival(std::in_place, std::move(pair.other), 1000);
    ASSERT_EQ(net::send_bytes(pair.one.fd(), "ccc", 3), 3);
    EXPECT_EQ(next_byte(pair.one.fd(), 1500ms), std::nullopt);
    rival.reset();
    EXPECT_TRUE(ended_with_nothing_more(pair.one.fd()));
}

TEST(PracticeRival, DestroyedInTheMiddleOfAWordItStopsAtOnce) {
    net::LocalPair pair = net::local_pair();
    ASSERT_TRUE(pair.ok());
    std::optional<duel::PracticeRival> rival(std::in_place, std::move(pair.other), 50);
    std::this_thread::sleep_for(50ms);  // well into its first word, which takes seconds
    const Clock::time_point start = Clock::now();
    rival.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(ended_with_nothing_more(pair.one.fd()));
}

}  // namespace
