// The connection steps on real sockets over port 8080: listening while the
// port is free or taken, taking one joiner, connecting to a typed address.
#include "net/host_join.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <future>
#include <string>

#include "support/peer_harness.h"

namespace {

using net::Link;
using net::LinkError;
using namespace std::chrono_literals;

bool nodelay_on(int fd) {
    int on = 0;
    socklen_t len = sizeof on;
    return ::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &len) == 0 && on != 0;
}

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

// A socket of the test's own listening on 127.0.0.1:8080: the port held by
// another program. (SO_REUSEADDR only so that the last test's connections in
// TIME_WAIT do not stop it; a listener holds the port all the same.)
net::Socket hold_port() {
    net::Socket sock(::socket(AF_INET, SOCK_STREAM, 0));
    int on = 1;
    ::setsockopt(sock.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(net::PEER_PORT);
    EXPECT_EQ(::bind(sock.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::listen(sock.fd(), 1), 0);
    return sock;
}

TEST(Host, ListensTakesOneJoinerWithNodelayAndClosesTheListener) {
    Link listening = net::listen_for_peer();
    ASSERT_TRUE(listening.ok()) << static_cast<int>(listening.error);
    const int listener_fd = listening.sock.fd();

    auto accepted =
        std::async(std::launch::async, [&] { return net::accept_peer(std::move(listening.sock)); });
    Link joiner = net::connect_to_host("127.0.0.1");
    ASSERT_TRUE(joiner.ok()) << static_cast<int>(joiner.error) << " " << joiner.code;
    ASSERT_EQ(accepted.wait_for(10s), std::future_status::ready);
    Link host = accepted.get();
    ASSERT_TRUE(host.ok());
    EXPECT_TRUE(nodelay_on(host.sock.fd()));
    EXPECT_TRUE(nodelay_on(joiner.sock.fd()));

    // The two ends are one connection.
    taja::test::send_raw(joiner.sock.fd(), "u");
    char byte = 0;
    ASSERT_EQ(net::receive_bytes(host.sock.fd(), &byte, 1), 1);
    EXPECT_EQ(byte, 'u');

    // The listener served its one joiner and is gone: nobody else gets in.
    EXPECT_TRUE(listener_fd == host.sock.fd() || !is_open(listener_fd));
    EXPECT_EQ(net::connect_to_host("127.0.0.1").error, LinkError::refused);
}

TEST(Host, ListensAgainWhileTheLastMatchsConnectionLingers) {
    for (int pass = 0; pass < 2; ++pass) {
        Link listening = net::listen_for_peer();
        ASSERT_TRUE(listening.ok()) << "pass " << pass << ": " << static_cast<int>(listening.error);
        auto accepted = std::async(std::launch::async,
                                   [&] { return net::accept_peer(std::move(listening.sock)); });
        Link joiner = net::connect_to_host("127.0.0.1");
        ASSERT_TRUE(joiner.ok());
        Link host = accepted.get();
        ASSERT_TRUE(host.ok());
        // The host ends first, as after a match: its side of the connection
        // stays in TIME_WAIT on port 8080, which must not stop the next bind.
        net::shutdown_connection(host.sock.fd());
        host.sock = net::Socket();
    }
}

TEST(Host, PortHeldByAnotherSocketIsReportedAsInUse) {
    net::Socket held = hold_port();
    Link listening = net::listen_for_peer();
    EXPECT_EQ(listening.error, LinkError::port_in_use);
    EXPECT_EQ(listening.sock.fd(), -1);
    held = net::Socket();
    EXPECT_TRUE(net::listen_for_peer().ok());
}

TEST(Join, NobodyListeningIsRefused) {
    Link link = net::connect_to_host("127.0.0.1");
    EXPECT_EQ(link.error, LinkError::refused);
    EXPECT_EQ(link.sock.fd(), -1);
}

TEST(Join, OnlyADottedQuadIsAnAddress) {
    net::Socket held = hold_port();  // a real host there: only the text can fail
    for (const char* text :
         {"", "abc", "127.1", "127.0.0", "127.0.0.1.5", "256.0.0.1", "0x7f.0.0.1", "127.000.0.1",
          " 127.0.0.1", "127.0.0.1 ", "127.0.0.1:8080", "localhost", "::1", "-1.0.0.1"}) {
        Link link = net::connect_to_host(text);
        EXPECT_EQ(link.error, LinkError::not_an_address) << '"' << text << '"';
        EXPECT_EQ(link.sock.fd(), -1);
    }
    EXPECT_TRUE(net::connect_to_host("127.0.0.1").ok());
}

}  // namespace
