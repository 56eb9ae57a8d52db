// The peer link over Winsock on 127.0.0.1:8080: the listener and the
// connector, events waited for in the program's loop, the link's end by
// shutdown, and port 8080 held exclusively yet free again for the next pass.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <chrono>
#include <vector>

#include "console/loop.h"
#include "net/connector.h"
#include "net/host_join.h"
#include "net/listener.h"
#include "net/peer_events.h"
#include "net/peer_link.h"

namespace {

using namespace std::chrono_literals;

// A connect to 127.0.0.1:8080 as the joiner makes it, waited for here.
net::Connector connect_loopback() {
    net::Endpoint to;
    to.ip.bytes = {127, 0, 0, 1};
    to.port = net::kDefaultPort;
    net::Connector connector({to}, net::Clock::now());
    const auto until = net::Clock::now() + 5s;
    while (!connector.done() && net::Clock::now() < until) {
        const std::vector<net::Watch> watches = connector.watches();
        std::vector<WSAPOLLFD> fds;
        for (const net::Watch& w : watches)
            fds.push_back({static_cast<SOCKET>(w.sock), POLLOUT, 0});
        ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), 50);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0) connector.on_ready(watches[i].sock, net::Clock::now());
        }
        if (connector.deadline() && *connector.deadline() <= net::Clock::now())
            connector.on_deadline(net::Clock::now());
    }
    return connector;
}

// Both ends of a connection made by the program's own steps.
struct Pair {
    net::Socket host;
    net::Socket join;
};

Pair connect_pair() {
    Pair p;
    // The last test's connection may hold the port a moment (TIME_WAIT), as
    // the host's own listening tries again every second.
    net::Listening listening = net::listen_for_joiners(net::kDefaultPort);
    for (int i = 0; i < 50 && !listening.ok(); ++i) {
        ::Sleep(100);
        listening = net::listen_for_joiners(net::kDefaultPort);
    }
    EXPECT_TRUE(listening.ok()) << static_cast<int>(listening.error) << " " << listening.code;
    net::Connector join = connect_loopback();
    EXPECT_TRUE(join.done());
    p.join = join.take_socket();
    EXPECT_GE(p.join.fd(), 0) << join.failure().code;
    WSAPOLLFD ready{static_cast<SOCKET>(listening.sock.fd()), POLLRDNORM, 0};
    EXPECT_EQ(::WSAPoll(&ready, 1, 5000), 1);
    int code = 0;
    EXPECT_EQ(net::accept_joiner(listening.sock.fd(), p.host, code), net::AcceptResult::joined)
        << code;
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
    addr.sin_port = htons(net::kDefaultPort);
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
    net::Listening listening = net::listen_for_joiners(net::kDefaultPort);
    ASSERT_TRUE(listening.ok()) << listening.code;
    EXPECT_FALSE(other_program_binds_8080());
    net::Listening again = net::listen_for_joiners(net::kDefaultPort);
    EXPECT_EQ(again.error, net::ListenError::port_in_use);
}

TEST(Winsock, AConnectNobodyTakesIsRefused) {
    net::Connector join = connect_loopback();
    ASSERT_TRUE(join.done());
    EXPECT_EQ(join.take_socket().fd(), -1);
    EXPECT_EQ(join.failure().error, net::ConnectError::refused);
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
