// The socket wrapper: ownership of descriptors, and the options and shutdown
// the peer link relies on, checked on real sockets.
#include "net/socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <utility>

#include "support/peer_harness.h"

namespace {

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(Socket, ClosesWhatItOwnsExactlyOnce) {
    auto [a, b] = taja::test::socket_pair();
    int fd_a = a.fd();
    int fd_b = b.fd();
    {
        net::Socket moved(std::move(a));
        EXPECT_EQ(a.fd(), -1);
        EXPECT_EQ(moved.fd(), fd_a);
        EXPECT_TRUE(is_open(fd_a));
    }
    EXPECT_FALSE(is_open(fd_a));

    int kept = b.release();
    EXPECT_EQ(kept, fd_b);
    b = net::Socket();
    EXPECT_TRUE(is_open(kept)) << "a released descriptor is not the wrapper's to close";

    net::Socket owner(kept);
    auto [c, d] = taja::test::socket_pair();
    int fd_c = c.fd();
    owner = std::move(c);
    EXPECT_FALSE(is_open(kept)) << "assigning over an owner closes what it held";
    EXPECT_EQ(owner.fd(), fd_c);
}

TEST(Socket, NodelayIsOnForTheConnectionsThePeerLinkUses) {
    auto [near, far] = taja::test::tcp_pair();
    for (int fd : {near.fd(), far.fd()}) {
        int on = 0;
        socklen_t len = sizeof on;
        ASSERT_EQ(::getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, &len), 0);
        EXPECT_NE(on, 0);
    }
}

TEST(Socket, ShutdownWakesABlockedReaderAndTellsThePeer) {
    auto [near, far] = taja::test::tcp_pair();
    long got = -2;
    std::thread reader([&, fd = far.fd()] {
        char byte;
        got = net::receive_bytes(fd, &byte, 1);
    });
    net::shutdown_connection(far.fd());
    reader.join();
    EXPECT_EQ(got, 0);
    char byte;
    EXPECT_EQ(net::receive_bytes(near.fd(), &byte, 1), 0);
}

}  // namespace
