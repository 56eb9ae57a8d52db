// Sockets on POSIX: Berkeley sockets as they are.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/socket.h"

namespace net {

void Socket::close(int fd) { ::close(fd); }

void set_nodelay(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// A side that only listens: idle 8 s, then a probe every 4 s. TCP_USER_TIMEOUT
// (27 s) decides when the probes give up: at the first probe timer that
// finds 27 s without a word from the peer, the one at 28 s. A side that
// sends waits for the acknowledgement instead, which the retransmissions
// alone would give up on only after about 15 minutes: TCP_USER_TIMEOUT ends
// the connection once data has gone unacknowledged for 27 s. So a peer that
// has vanished is noticed within 28 s, and a link that comes back sooner
// loses nothing: the probes are answered, and the sent data goes with its
// next retransmission. Those back off from about 0.2 s, doubling, to one at
// 25.4 s after the send on a link with a short round trip (see the README
// for what a longer one tolerates). The probe timer must not meet the
// limit: set to 28 s, it can fire a jiffy short of it, and the end moves on
// by a probe.
void set_keepalive(int fd) {
    const int on = 1;
    const int idle_s = 8;
    const int interval_s = 4;
    const int probes = 5;
    const unsigned user_timeout_ms = 27'000;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle_s, sizeof idle_s);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval_s, sizeof interval_s);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout_ms, sizeof user_timeout_ms);
}

void shutdown_connection(int fd) { ::shutdown(fd, SHUT_RDWR); }

void set_nonblocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); }

namespace {

long result_of(ssize_t r) {
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return kWouldBlock;
    return static_cast<long>(r);
}

}  // namespace

long send_bytes(int fd, const char* bytes, std::size_t n) {
    ssize_t r;
    do {
        r = ::send(fd, bytes, n, MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    return result_of(r);
}

namespace {

long recv_with(int fd, char* buf, std::size_t n, int flags) {
    ssize_t r;
    do {
        r = ::recv(fd, buf, n, flags);
    } while (r < 0 && errno == EINTR);
    return result_of(r);
}

}  // namespace

long receive_bytes(int fd, char* buf, std::size_t n) { return recv_with(fd, buf, n, 0); }

long peek_bytes(int fd, char* buf, std::size_t n) { return recv_with(fd, buf, n, MSG_PEEK); }

}  // namespace net
