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

TEST(PeerLink, EventsASocketCannotTakeAtOnceGoOutInOrderWhenThereIsRoom) {
    auto [near, far] = taja::test::socket_pair();
    net::PeerLink link(near.fd());
    // Far more than a socket's buffer holds while nobody reads: the sends
    // return at once, and the rest waits for room.
    constexpr int kEvents = 2'000'000;
    for (int i = 0; i < kEvents; ++i) link.send(i % 2 ? net::kKnockEvent : net::kRaiseEvent);
    ASSERT_TRUE(link.watch().write) << "the socket took everything, so nothing was tested";

    std::vector<PeerEvent> got;
    while (link.watch().write) {
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

}  // namespace
