#include "support/peer_harness.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "net/socket.h"

namespace taja::test {

namespace {

// A helper that cannot make its connection leaves nothing to test.
void require(bool ok, const char* what) {
    if (ok) return;
    std::perror(what);
    std::abort();
}

}  // namespace

std::pair<net::Socket, net::Socket> socket_pair() {
    int fds[2];
    require(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0, "socketpair");
    return {net::Socket(fds[0]), net::Socket(fds[1])};
}

std::pair<net::Socket, net::Socket> tcp_pair() {
    net::Socket listener(::socket(AF_INET, SOCK_STREAM, 0));
    require(listener.fd() >= 0, "socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;  // the kernel picks a free port
    require(::bind(listener.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0, "bind");
    require(::listen(listener.fd(), 1) == 0, "listen");
    socklen_t len = sizeof addr;
    require(::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&addr), &len) == 0,
            "getsockname");

    net::Socket near(::socket(AF_INET, SOCK_STREAM, 0));
    require(near.fd() >= 0, "socket");
    require(::connect(near.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0, "connect");
    net::Socket far(::accept(listener.fd(), nullptr, nullptr));
    require(far.fd() >= 0, "accept");
    net::set_nodelay(near.fd());
    net::set_nodelay(far.fd());
    return {std::move(near), std::move(far)};
}

void close_with_reset(net::Socket& sock) {
    // SO_LINGER with a zero time: close drops the connection with RST.
    linger off{1, 0};
    ::setsockopt(sock.fd(), SOL_SOCKET, SO_LINGER, &off, sizeof off);
    sock = net::Socket();
}

void send_raw(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        require(n > 0, "send");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::vector<net::PeerEvent> receive_until_end(int fd, std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    net::set_nonblocking(fd);
    std::vector<net::PeerEvent> events;
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        char data[512];
        const long n = net::receive_bytes(fd, data, sizeof data);
        if (n == net::kWouldBlock) continue;
        if (n <= 0) {
            events.push_back(net::PeerEvent::left);
            break;
        }
        net::add_events(data, static_cast<std::size_t>(n), events);
    }
    return events;
}

}  // namespace taja::test
