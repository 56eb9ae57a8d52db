// A local connection on Windows, which has no socket pair: a TCP connection
// on 127.0.0.1. The listening socket takes a port the system picks, lives
// only until its accept, and hands over only the connection that comes from
// our own connecting socket; any other program's connect to that port in
// the meantime is turned away.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "net/local_link.h"
#include "net/winsock.h"

namespace net {

namespace {

SOCKET handle(int fd) { return static_cast<SOCKET>(fd); }

LocalPair failure() {
    LocalPair failed;
    failed.code = ::WSAGetLastError();
    if (failed.code == 0) failed.code = WSAEINVAL;
    return failed;
}

Socket tcp_socket() { return Socket(socket_fd(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))); }

bool same_end(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

}  // namespace

LocalPair local_pair() {
    start_winsock();
    Socket listener = tcp_socket();
    if (listener.fd() < 0) return failure();
    // No other socket may bind the port while we listen on it.
    BOOL on = TRUE;
    ::setsockopt(handle(listener.fd()), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;  // any free port
    int len = sizeof addr;
    if (::bind(handle(listener.fd()), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(handle(listener.fd()), 1) != 0 ||
        ::getsockname(handle(listener.fd()), reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        return failure();
    }

    Socket ours = tcp_socket();
    if (ours.fd() < 0) return failure();
    sockaddr_in own{};
    len = sizeof own;
    if (::connect(handle(ours.fd()), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(handle(ours.fd()), reinterpret_cast<sockaddr*>(&own), &len) != 0) {
        return failure();
    }
    // Our connect has returned, so our connection waits in the backlog: the
    // accepts end with it.
    for (;;) {
        sockaddr_in from{};
        len = sizeof from;
        Socket theirs(
            socket_fd(::accept(handle(listener.fd()), reinterpret_cast<sockaddr*>(&from), &len)));
        if (theirs.fd() < 0) return failure();
        if (!same_end(from, own)) continue;  // someone else's: closed at once
        set_nodelay(ours.fd());
        set_nodelay(theirs.fd());
        LocalPair pair;
        pair.one = std::move(ours);
        pair.other = std::move(theirs);
        return pair;
    }
}

Readable wait_readable(int fd, std::chrono::milliseconds limit) {
    WSAPOLLFD p{};
    p.fd = handle(fd);
    p.events = POLLRDNORM;
    const int r = ::WSAPoll(&p, 1, static_cast<INT>(limit.count() > 0 ? limit.count() : 0));
    if (r > 0) return Readable::yes;
    if (r == 0) return Readable::timeout;
    return Readable::failed;
}

}  // namespace net
