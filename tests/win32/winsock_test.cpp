// The peer link over Winsock on 127.0.0.1:8080: the connection steps, events
// waited for in the program's loop, the link's end by shutdown, and port
// 8080 held exclusively yet free again for the next pass.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <vector>

#include "console/loop.h"
#include "net/host_join.h"
#include "net/peer_events.h"
#include "net/peer_link.h"

namespace {

using namespace std::chrono_literals;

// Both ends of a connection made by the program's own steps.
struct Pair {
    net::Socket host;
    net::Socket join;
};

Pair connect_pair() {
    Pair p;
    net::Link listening = net::listen_for_peer();
    EXPECT_TRUE(listening.ok()) << static_cast<int>(listening.error) << " " << listening.code;
    net::Link join = net::connect_to_host("127.0.0.1");
    EXPECT_TRUE(join.ok()) << static_cast<int>(join.error) << " " << join.code;
    net::Link host = net::accept_peer(std::move(listening.sock));
    EXPECT_TRUE(host.ok());
    p.host = std::move(host.sock);
    p.join = std::move(join.sock);
    return p;
}

// The events that arrive on `link` within a few seconds, waited for in the
// loop, until there are `n`.
std::vector<net::PeerEvent> events_in_loop(net::PeerLink& link, std::size_t n) {
    std::vector<net::PeerEvent> events;
    const auto until = console::Clock::now() + 5s;
    while (events.size() < n) {
        const console::Watch watch = link.watch();
        const console::Turn turn = console::next_turn(console::Keys::leave, {&watch, 1}, until);
        if (turn.ready_for(watch.sock)) link.receive(events);
        if (turn.timed_out) break;
    }
    return events;
}

// A plain socket of another program trying to bind port 8080 with
// SO_REUSEADDR: true if the bind went through.
bool other_program_binds_8080() {
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
    BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(net::PEER_PORT);
    bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::closesocket(s);
    return bound;
}

TEST(Winsock, EventsWaitedForInTheLoopArriveInOrderAndShutEndsTheConnection) {
    Pair p = connect_pair();
    ASSERT_GE(p.host.fd(), 0);
    ASSERT_GE(p.join.fd(), 0);
    net::PeerLink at_host(p.host.fd());
    net::send_event(p.join.fd(), net::kRaiseEvent);
    EXPECT_EQ(events_in_loop(at_host, 1), std::vector{net::PeerEvent::raise});
    net::send_event(p.join.fd(), net::kKnockEvent);
    net::send_event(p.join.fd(), net::kRaiseEvent);
    EXPECT_EQ(events_in_loop(at_host, 2),
              (std::vector{net::PeerEvent::knock, net::PeerEvent::raise}));
    at_host.send(net::kHello);
    char byte = 0;
    EXPECT_EQ(net::receive_bytes(p.join.fd(), &byte, 1), 1);
    EXPECT_EQ(byte, net::kHello);
    at_host.shut();
    EXPECT_EQ(net::receive_bytes(p.join.fd(), &byte, 1), 0) << "the joiner reads the end";
}

TEST(Winsock, PortIsOursAloneWhileListeningAndFreeForTheNextPass) {
    for (int pass = 0; pass < 2; ++pass) {
        Pair p = connect_pair();
        ASSERT_GE(p.host.fd(), 0) << "pass " << pass;
        // The host ends first, so its side of the connection lingers.
        net::shutdown_connection(p.host.fd());
        p.host = net::Socket();
    }
    net::Link listening = net::listen_for_peer();
    ASSERT_TRUE(listening.ok()) << listening.code;
    EXPECT_FALSE(other_program_binds_8080());
    net::Link again = net::listen_for_peer();
    EXPECT_EQ(again.error, net::LinkError::port_in_use);
}

TEST(Winsock, ConnectionStepsSayWhyTheyFailed) {
    EXPECT_EQ(net::connect_to_host("abc").error, net::LinkError::not_an_address);
    EXPECT_EQ(net::connect_to_host("127.0.0.1 ").error, net::LinkError::not_an_address);
    EXPECT_EQ(net::connect_to_host("127.0.0.1").error, net::LinkError::refused);
    EXPECT_FALSE(net::system_error_text(WSAECONNRESET).empty());
}

// Both ends notice a rival whose machine vanishes: the keepalive that
// SIO_KEEPALIVE_VALS turns on shows in SO_KEEPALIVE.
TEST(Winsock, BothEndsOfAConnectionProbeTheirPeer) {
    Pair p = connect_pair();
    for (const net::Socket* end : {&p.host, &p.join}) {
        BOOL on = FALSE;
        int len = sizeof on;
        ASSERT_EQ(::getsockopt(static_cast<SOCKET>(end->fd()), SOL_SOCKET, SO_KEEPALIVE,
                               reinterpret_cast<char*>(&on), &len),
                  0);
        EXPECT_TRUE(on);
    }
}

}  // namespace
