// The host's listening socket on real sockets over port 8080: listening
// while the port is free or taken, and listening again while the last
// match's connection lingers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include "net/listener.h"
#include "support/peer_harness.h"

namespace {

using net::ListenError;

bool nodelay_on(int fd) {
    int on = 0;
    socklen_t len = sizeof on;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &len) == 0 && on != 0;
}

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

// A socket of the test's own listening on 127.0.0.1:8080: the port held by
// another program. (SO_REUSEADDR only so that the last test's connections in
// TIME_WAIT do not stop it; a listener holds the port all the same.)
net::Socket hold_port() {
    net::Socket sock(::socket(AF_INET, SOCK_STREAM, 0));
    int on = 1;
    ::setsockopt(sock.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in addr = loopback(net::kDefaultPort);
    EXPECT_EQ(::bind(sock.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::listen(sock.fd(), 1), 0);
    return sock;
}

// A joiner connected over IPv4, and the host's end of it, taken as the loop
// takes it once the listener is readable.
std::pair<net::Socket, net::Socket> join(const net::Listening& listening) {
    net::Socket joiner(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in addr = loopback(net::kDefaultPort);
    EXPECT_EQ(::connect(joiner.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    pollfd p{listening.sock.fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 10'000), 1);
    net::Socket host;
    int code = 0;
    EXPECT_EQ(net::accept_joiner(listening.sock.fd(), host, code), net::AcceptResult::joined)
        << code;
    return {std::move(joiner), std::move(host)};
}

TEST(Host, TakesAJoinerOverIpv4WithNodelayAndListensAgainWhileTheLastConnectionLingers) {
    for (int pass = 0; pass < 2; ++pass) {
        net::Listening listening = net::listen_for_joiners(net::kDefaultPort);
        ASSERT_TRUE(listening.ok()) << "pass " << pass << ": " << listening.code;
        auto [joiner, host] = join(listening);
        ASSERT_GE(host.fd(), 0);
        EXPECT_TRUE(nodelay_on(host.fd()));
        taja::test::send_raw(joiner.fd(), "u");
        char byte = 0;
        pollfd p{host.fd(), POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 10'000), 1);
        ASSERT_EQ(::recv(host.fd(), &byte, 1, 0), 1);
        EXPECT_EQ(byte, 'u');
        // The host ends first, as after a match: its side of the connection
        // stays in TIME_WAIT on port 8080, which must not stop the next bind.
        net::shutdown_connection(host.fd());
    }
}

TEST(Host, PortHeldByAnotherSocketIsReportedAsInUse) {
    net::Socket held = hold_port();
    net::Listening listening = net::listen_for_joiners(net::kDefaultPort);
    EXPECT_EQ(listening.error, ListenError::port_in_use);
    EXPECT_EQ(listening.sock.fd(), -1);
    held = net::Socket();
    EXPECT_TRUE(net::listen_for_joiners(net::kDefaultPort).ok());
}

}  // namespace
