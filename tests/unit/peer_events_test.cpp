// The match's end of real connections: what arrives on the wire becomes
// events in wire order, none lost or merged, the end of the connection last
// of all.
#include "net/peer_events.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "net/peer_link.h"
#include "net/socket.h"
#include "support/peer_harness.h"
#include "support/pty_process.h"

namespace {

using namespace std::chrono_literals;
using net::PeerEvent;
using taja::test::receive_until_end;
using taja::test::send_raw;

TEST(PeerEvents, KnockAndRaiseInOneReadAreOneEventEachAndTheLinkDrawsNothing) {
    taja::test::PtyConsole console;
    console::set_cursor(10, 5);
    auto [near, far] = taja::test::socket_pair();

    send_raw(near.fd(), "cu");
    near = net::Socket();
    EXPECT_EQ(receive_until_end(far.fd()),
              (std::vector{PeerEvent::knock, PeerEvent::raise, PeerEvent::left}));

    // Text printed now lands where the cursor was put before: the link
    // moved nothing in between.
    console::print_text("#");
    EXPECT_TRUE(console.screen().wait_for([](const taja::test::VtScreen& s) {
        return s.text(10, 5, 1) == "#" && s.cursor().x == 11 && s.cursor().y == 5;
    })) << console.screen().dump();
}

TEST(PeerEvents, BytesNoBuildKnowsAreIgnoredAndTheEventsAroundThemCount) {
    auto [near, far] = taja::test::socket_pair();

    using namespace std::string_literals;
    send_raw(near.fd(), "c\0c"s);
    send_raw(near.fd(), "cxcCU\xff\x63\x75hwl"s);
    near = net::Socket();
    EXPECT_EQ(receive_until_end(far.fd()),
              (std::vector{PeerEvent::knock, PeerEvent::knock, PeerEvent::knock, PeerEvent::knock,
                           PeerEvent::knock, PeerEvent::raise, PeerEvent::hello,
                           PeerEvent::host_won, PeerEvent::host_lost, PeerEvent::left}));
}

TEST(PeerEvents, MoreBytesThanOneReadTakesAreReadInPiecesAndEachCountsOnce) {
    auto [near, far] = taja::test::tcp_pair();
    // All 1500 are queued before the first read, which can take only 512 of
    // them.
    std::vector<PeerEvent> sent;
    for (int i = 0; i < 1500; ++i) {
        bool knock = i % 3 != 1;
        net::send_event(near.fd(), knock ? net::kKnockEvent : net::kRaiseEvent);
        sent.push_back(knock ? PeerEvent::knock : PeerEvent::raise);
    }
    near = net::Socket();
    sent.push_back(PeerEvent::left);
    EXPECT_EQ(receive_until_end(far.fd()), sent);
}

TEST(PeerEvents, AHundredThousandEventsFromAFastSenderArriveExactlyAndInOrder) {
    auto [near, far] = taja::test::tcp_pair();

    constexpr int kEvents = 100'000;
    std::vector<PeerEvent> sent;
    sent.reserve(kEvents + 1);
    std::thread sender([&sent, sock = std::move(near)] {
        // Runs of each kind of varied length, from a fixed pseudo-random
        // sequence.
        std::uint32_t state = 1;
        for (int i = 0; i < kEvents; ++i) {
            state = state * 214013u + 2531011u;
            bool knock = ((state >> 16) & 0x7FFF) % 5 < 2;
            net::send_event(sock.fd(), knock ? net::kKnockEvent : net::kRaiseEvent);
            sent.push_back(knock ? PeerEvent::knock : PeerEvent::raise);
        }
    });
    const std::vector<PeerEvent> received = receive_until_end(far.fd(), 120s);
    sender.join();
    sent.push_back(PeerEvent::left);
    EXPECT_TRUE(received == sent);
}

TEST(PeerEvents, WhenThePeerGoesTheLeaveComesAfterWhatArrived) {
    struct Ending {
        const char* name;
        bool tcp;
        void (*end)(net::Socket&);
    };
    for (Ending ending : {
             Ending{"local pair closed", false, [](net::Socket& s) { s = net::Socket(); }},
             Ending{"tcp closed", true, [](net::Socket& s) { s = net::Socket(); }},
             Ending{"tcp reset", true, taja::test::close_with_reset},
             Ending{"tcp half-closed", true, [](net::Socket& s) { ::shutdown(s.fd(), SHUT_WR); }},
         }) {
        SCOPED_TRACE(ending.name);
        auto [near, far] = ending.tcp ? taja::test::tcp_pair() : taja::test::socket_pair();
        net::send_event(near.fd(), net::kRaiseEvent);
        ending.end(near);
        EXPECT_EQ(receive_until_end(far.fd()), (std::vector{PeerEvent::raise, PeerEvent::left}));
    }
}

TEST(PeerEvents, AConnectionNeverMadeEndsAtOnce) {
    net::Socket sock(::socket(AF_INET, SOCK_STREAM, 0));
    EXPECT_EQ(receive_until_end(sock.fd(), 2s), std::vector{PeerEvent::left});
    EXPECT_TRUE(net::PeerLink(-1).ended());
}

TEST(SendEvent, SendingToAPeerThatHasGoneReturnsAndTheProcessLivesOn) {
    // Sending on a connection whose peer has gone raises SIGPIPE, which ends
    // the process unless the send asks it not to.
    std::signal(SIGPIPE, SIG_DFL);
    for (bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "tcp" : "local pair");
        auto [near, far] = tcp ? taja::test::tcp_pair() : taja::test::socket_pair();
        far = net::Socket();
        // Over TCP the first sends still succeed locally; the peer's reset
        // makes a later one fail.
        bool failed = false;
        for (int i = 0; i < 1000 && !failed; ++i) {
            net::send_event(near.fd(), net::kKnockEvent);
            failed = net::send_bytes(near.fd(), &net::kRaiseEvent, 1) < 0;
        }
        EXPECT_TRUE(failed) << "no send ever failed, so the gone peer was not tried";
    }
}

}  // namespace
