// Stopping a connection's receiver at the end of a match, at once or once the
// peer has closed, and playing pass after pass without leaking threads or
// sockets.
#include "net/peer_link.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "net/peer_events.h"
#include "net/socket.h"
#include "support/peer_harness.h"

namespace {

using namespace std::chrono_literals;
using net::PeerEvent;
using taja::test::Posted;

// Runs `stop` on another thread and reports whether it finished within the
// deadline; a stop that hangs fails the test by its own timeout.
bool within(std::chrono::milliseconds deadline, const std::function<void()>& stop) {
    auto done = std::async(std::launch::async, stop);
    return done.wait_for(deadline) == std::future_status::ready;
}

// Entries in a /proc/self directory: open descriptors, or threads.
int count_entries(const char* dir) {
    int n = 0;
    DIR* d = ::opendir(dir);
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
    return n;
}

TEST(PeerReceiver, StopsPromptlyWhileBlockedInItsReadAndPostsNoLeave) {
    auto [near, far] = taja::test::tcp_pair();
    Posted posted;
    net::PeerReceiver receiver(far.fd(), posted.poster());
    net::send_event(near.fd(), net::kRaiseEvent);
    ASSERT_TRUE(posted.wait_count(1));

    EXPECT_TRUE(within(10s, [&] { receiver.stop(); }));
    EXPECT_EQ(posted.events(), std::vector{PeerEvent::raise})
        << "our own stop is not the rival leaving";
    // The connection is shut down both ways: the peer reads its end.
    char byte;
    EXPECT_EQ(net::receive_bytes(near.fd(), &byte, 1), 0);
    EXPECT_TRUE(within(10s, [&] { receiver.stop(); })) << "a second stop must be harmless";
}

TEST(PeerReceiver, WaitsForThePeerToCloseFirstButNoLongerThanItsLimit) {
    {
        auto [near, far] = taja::test::tcp_pair();
        Posted posted;
        net::PeerReceiver receiver(far.fd(), posted.poster());
        std::thread closer([sock = std::move(near)]() mutable {
            std::this_thread::sleep_for(100ms);
            sock = net::Socket();
        });
        EXPECT_TRUE(receiver.stop_after_peer_closes(10s));
        closer.join();
    }
    {
        // A peer that never closes is given up after the limit.
        auto [near, far] = taja::test::tcp_pair();
        Posted posted;
        net::PeerReceiver receiver(far.fd(), posted.poster());
        bool closed = true;
        EXPECT_TRUE(within(10s, [&] { closed = receiver.stop_after_peer_closes(50ms); }));
        EXPECT_FALSE(closed);
        char byte;
        EXPECT_EQ(net::receive_bytes(near.fd(), &byte, 1), 0) << "and the connection ends anyway";
    }
}

TEST(PeerReceiver, PassAfterPassLeaksNoThreadAndNoSocket) {
    auto play_pass = [] {
        auto [near, far] = taja::test::tcp_pair();
        Posted posted;
        net::PeerReceiver receiver(far.fd(), posted.poster());
        net::send_event(near.fd(), net::kKnockEvent);
        net::send_event(near.fd(), net::kRaiseEvent);
        EXPECT_TRUE(posted.wait_count(2));
    };
    play_pass();  // lets the runtime set up whatever it keeps for good
    int fds = count_entries("/proc/self/fd");
    int threads = count_entries("/proc/self/task");
    for (int pass = 0; pass < 200; ++pass) play_pass();
    EXPECT_EQ(count_entries("/proc/self/fd"), fds);
    EXPECT_EQ(count_entries("/proc/self/task"), threads);
}

}  // namespace
