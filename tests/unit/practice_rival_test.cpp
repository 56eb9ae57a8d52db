// The practice rival on a local connection of its own, the test at the
// player's end: what it sends, what it makes of what it receives, and that
// it stops.
#include "duel/practice_rival.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "duel/tables.h"
#include "duel/typing_stats.h"
#include "net/local_link.h"
#include "net/peer_events.h"

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

// The rival's end of the connection closes, with nothing before the end.
bool ended_with_nothing_more(int fd) {
    char byte;
    return net::wait_readable(fd, 5s) == net::Readable::yes &&
           net::receive_bytes(fd, &byte, 1) == 0;
}

// A rival at `speed` on a local connection, which has greeted as a joiner.
struct Practice {
    explicit Practice(int speed) {
        net::LocalPair pair = net::local_pair();
        EXPECT_TRUE(pair.ok());
        player = std::move(pair.one);
        rival.emplace(std::move(pair.other), speed);
        EXPECT_EQ(next_byte(player.fd(), 5s), 'h');
    }
    net::Socket player;
    std::optional<duel::PracticeRival> rival;
};

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

// At twelve it waits for the verdict, as a joiner does: a knock of the
// player's that crossed its last raise takes it back into play.
// The rival's clock, run without waiting: each word's look and typing laid
// end to end, and its lines counted as the result line counts the player's.
// Over a match of 20 words, whatever the seed, the rival's 타수 on that
// scale is its speed within 10%.
TEST(RivalTyping, ItsSpeedIsItsTasuOnTheResultLinesScale) {
    for (int speed : {100, 300, 1000}) {
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            duel::RivalTyping typing(speed, seed);
            duel::TypingStats stats;
            Clock::time_point now{};
            for (int i = 0; i < 20; ++i) {
                const duel::RivalTyping::Word word = typing.next();
                now += word.look;
                const Clock::time_point first = now;
                now += word.typing;
                const std::string text = duel::word_table[word.index];
                if (word.mistyped)
                    stats.entered(duel::TypedLine{text, first, first + word.typing / 2});
                stats.entered(duel::TypedLine{text, first, now});
            }
            const int tasu = stats.keys_per_minute().value();
            EXPECT_NEAR(tasu, speed, speed / 10) << "seed " << seed;
        }
    }
}

TEST(PracticeRival, AgainstASilentPlayerItKnocksOnceRaisesToTwelveAndWaitsForTheVerdict) {
    Practice p(60000);
    std::string sent;
    while (sent.size() < 10) {
        std::optional<char> byte = next_byte(p.player.fd(), 5s);
        if (!byte) break;
        sent += *byte;
    }
    EXPECT_EQ(sent, "cuuuuuuuuu");
    net::send_event(p.player.fd(), 'c');
    EXPECT_EQ(next_byte(p.player.fd(), 5s), 'u') << "back at eleven, it plays on";
    net::send_event(p.player.fd(), 'l');  // the host lost
    EXPECT_TRUE(ended_with_nothing_more(p.player.fd()));
}

TEST(PracticeRival, TheVerdictEndsItsMatchWhateverItsPictureSays) {
    for (const char* before : {"", "ccc"}) {  // in play; knocked down to nothing
        Practice p(50);
        ASSERT_EQ(net::send_bytes(p.player.fd(), before, std::strlen(before)),
                  static_cast<long>(std::strlen(before)));
        net::send_event(p.player.fd(), 'w');  // the host won
        EXPECT_TRUE(ended_with_nothing_more(p.player.fd())) << before;
    }
}

TEST(PracticeRival, DestroyedInTheMiddleOfAWordItStopsAtOnce) {
    Practice p(50);
    std::this_thread::sleep_for(50ms);  // well into its first word, which takes seconds
    const Clock::time_point start = Clock::now();
    p.rival.reset();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_TRUE(ended_with_nothing_more(p.player.fd()));
}

}  // namespace
