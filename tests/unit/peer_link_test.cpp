// Stopping a connection's receiver at the end of a match, wherever it waits,
// and playing pass after pass without leaking threads or sockets.
#include "net/peer_link.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "net/peer_events.h"
#include "net/socket.h"
#include "support/peer_harness.h"
#include "support/pty_process.h"

namespace {

using namespace std::chrono_literals;
using taja::test::match_until;

// Stops `receiver` on another thread and reports whether that finished
// within the deadline. If it hangs, the flags are taken until it finishes
// so that the test fails instead of hanging.
bool stops_within(net::PeerReceiver& receiver, std::chrono::milliseconds deadline) {
    std::promise<void> stopped;
    std::future<void> done = stopped.get_future();
    std::thread stopper([&] {
        receiver.stop();
        stopped.set_value();
    });
    bool in_time = done.wait_for(deadline) == std::future_status::ready;
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        net::take_event(net::knock_flag);
        net::take_event(net::raise_flag);
        net::take_event(net::leave_flag);
    }
    stopper.join();
    return in_time;
}

// Entries in a /proc/self directory: open descriptors, or threads.
int count_entries(const char* dir) {
    int n = 0;
    DIR* d = ::opendir(dir);
    while (::readdir(d) != nullptr) ++n;
    ::closedir(d);
    return n;
}

class PeerReceiverTest : public ::testing::Test {
  protected:
    PeerReceiverTest() { net::clear_events(); }

    taja::test::PtyConsole console_;  // the receiver's cursor placements go here
};

TEST_F(PeerReceiverTest, StopsPromptlyWhileWaitingOnAFullFlagAndKeepsThePendingEvent) {
    auto [near, far] = taja::test::socket_pair();
    net::PeerReceiver receiver(far.fd());

    // The second knock cannot be delivered while the first is pending, and
    // the match that would take it is over.
    taja::test::send_raw(near.fd(), "cc");
    ASSERT_TRUE(match_until([] { return net::knock_flag.load() == 1; }));

    EXPECT_TRUE(stops_within(receiver, 10s));
    EXPECT_EQ(net::knock_flag.load(), 1) << "the delivered event stays until it is cleared";
    EXPECT_TRUE(net::take_event(net::knock_flag));
    EXPECT_EQ(net::knock_flag.load(), 0) << "a stopped receiver delivered the dropped event";

    // The connection is shut down both ways: the peer reads its end.
    char byte;
    EXPECT_EQ(net::receive_bytes(near.fd(), &byte, 1), 0);
}

TEST_F(PeerReceiverTest, StopsPromptlyWhileBlockedInItsRead) {
    auto [near, far] = taja::test::tcp_pair();
    net::PeerReceiver receiver(far.fd());
    net::send_event(near.fd(), net::kRaiseEvent);
    ASSERT_TRUE(match_until([] { return net::take_event(net::raise_flag); }));

    EXPECT_TRUE(stops_within(receiver, 10s));
    EXPECT_EQ(net::leave_flag.load(), 0) << "our own stop is not the rival leaving";
    char byte;
    EXPECT_EQ(net::receive_bytes(near.fd(), &byte, 1), 0);
    EXPECT_TRUE(stops_within(receiver, 10s)) << "a second stop must be harmless";
}

TEST_F(PeerReceiverTest, PassAfterPassLeaksNoThreadAndNoSocket) {
    auto play_pass = [] {
        auto [near, far] = taja::test::tcp_pair();
        net::PeerReceiver receiver(far.fd());
        net::send_event(near.fd(), net::kKnockEvent);
        net::send_event(near.fd(), net::kRaiseEvent);
        taja::test::Taken taken;
        EXPECT_TRUE(match_until([&] {
            taja::test::take_pending(taken);
            return taken.knocks == 1 && taken.raises == 1;
        }));
    };
    play_pass();  // lets the runtime set up whatever it keeps for good
    int fds = count_entries("/proc/self/fd");
    int threads = count_entries("/proc/self/task");
    for (int pass = 0; pass < 200; ++pass) play_pass();
    EXPECT_EQ(count_entries("/proc/self/fd"), fds);
    EXPECT_EQ(count_entries("/proc/self/task"), threads);
}

}  // namespace
