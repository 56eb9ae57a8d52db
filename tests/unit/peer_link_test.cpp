// The match's end of the connection: it never waits, and what the socket
// cannot take at once still goes out whole and in order.
#include "net/peer_link.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <vector>

#include "net/socket.h"
#include "support/peer_harness.h"

namespace {

using net::PeerEvent;
using namespace std::chrono_literals;

TEST(PeerLink, EventsASocketCannotTakeAtOnceGoOutInOrderWhenThereIsRoom) {
    auto [near, far] = taja::test::socket_pair();
    net::PeerLink link(near.fd());
    // Far more than a socket's buffer holds while nobody reads: the sends
    // return at once, and the rest waits for room.
    constexpr int kEvents = 2'000'000;
    for (int i = 0; i < kEvents; ++i) link.send(i % 2 ? net::kKnockEvent : net::kRaiseEvent);
    ASSERT_TRUE(link.watch().write) << "the socket took everything, so nothing was tested";

    std::vector<PeerEvent> got;
    while (link.watch().write || got.size() < kEvents) {
        pollfd p{near.fd(), POLLOUT, 0};
        ::poll(&p, 1, 1000);
        link.flush();
        char buf[65536];
        const long n = net::receive_bytes(far.fd(), buf, sizeof buf);
        if (n > 0) net::add_events(buf, static_cast<std::size_t>(n), got);
    }
    link.shut();
    const std::vector<PeerEvent> rest = taja::test::receive_until_end(far.fd());
    got.insert(got.end(), rest.begin(), rest.end());
    ASSERT_EQ(got.size(), kEvents + 1u);
    for (int i = 0; i < kEvents; ++i) {
        ASSERT_EQ(got[i], i % 2 ? PeerEvent::knock : PeerEvent::raise) << "event " << i;
    }
    EXPECT_EQ(got.back(), PeerEvent::left) << "the shut link's peer reads the end";
}

// A peer that sends more events at once than a player ever could breaks the
// rules: the link takes no more than the limit and ends. After a match, the
// link only looks for the end, whatever comes before it.
TEST(PeerLink, MoreEventsAtOnceThanALimitEndTheLinkAndAfterTheMatchNothingIsKept) {
    {
        auto [near, far] = taja::test::socket_pair();
        net::PeerLink link(near.fd());
        taja::test::send_raw(far.fd(), std::string(net::kMaxEventsAtOnce, 'u'));
        std::vector<PeerEvent> got;
        pollfd p{near.fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        link.receive(got);
        EXPECT_EQ(got, std::vector<PeerEvent>(net::kMaxEventsAtOnce, PeerEvent::raise))
            << "as many as the limit are a player's";
        EXPECT_FALSE(link.ended());

        taja::test::send_raw(far.fd(), std::string(net::kMaxEventsAtOnce + 1, 'c') + "xyz");
        got.clear();
        ASSERT_EQ(::poll(&p, 1, 5000), 1);
        link.receive(got);
        ASSERT_EQ(got.size(), net::kMaxEventsAtOnce + 1);
        EXPECT_EQ(got.back(), PeerEvent::left);
        EXPECT_TRUE(link.ended());
        EXPECT_TRUE(link.flooded());
        EXPECT_EQ(taja::test::receive_until_end(far.fd(), 5s).back(), PeerEvent::left)
            << "the peer reads the end";
    }
    auto [near, far] = taja::test::socket_pair();
    net::PeerLink link(near.fd());
    std::string lots(1 << 16, 'u');
    taja::test::send_raw(far.fd(), lots);
    far = net::Socket();
    for (int turns = 0; !link.ended() && turns < 1000; ++turns) {
        pollfd p{near.fd(), POLLIN, 0};
        ::poll(&p, 1, 1000);
        link.discard();
    }
    EXPECT_TRUE(link.ended());
    EXPECT_FALSE(link.flooded()) << "after the match, no event counts";
}

}  // namespace
