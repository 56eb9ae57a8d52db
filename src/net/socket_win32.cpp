// Sockets on Windows: Winsock 2. A SOCKET is a kernel handle value, which
// Windows keeps below 2^24 (handle values are shared with 32-bit programs),
// so it fits the int that the peer link passes around; INVALID_SOCKET
// becomes -1 on the way.
#include <winsock2.h>
#include <mstcpip.h>
#include <ws2tcpip.h>

#include "net/socket.h"
#include "net/winsock.h"

namespace net {

namespace {

SOCKET handle(int fd) { return static_cast<SOCKET>(fd); }

// TCP_MAXRT of the Windows SDK's ws2ipdef.h, which mingw-w64's headers lack.
constexpr int kTcpMaxRt = 5;

}  // namespace

void start_winsock() {
    // Once per process; the end of the process gives it back.
    static const bool started = [] {
        WSADATA wsaData;
        return ::WSAStartup(MAKEWORD(2, 2), &wsaData) == 0;
    }();
    (void)started;
}

int socket_fd(unsigned long long s) { return s == INVALID_SOCKET ? -1 : static_cast<int>(s); }

void Socket::close(int fd) { ::closesocket(handle(fd)); }

void set_nodelay(int fd) {
    BOOL on = TRUE;
    ::setsockopt(handle(fd), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                 sizeof on);
}

// Windows sends a fixed 10 probes: idle 13 s, then one every 1.5 s, gives
// 13 + 10 * 1.5 = 28 s for a connection that only listens. TCP_MAXRT ends
// one whose sent data has gone unacknowledged for 27 s. The same limits as
// on POSIX (socket_posix.cpp).
void set_keepalive(int fd) {
    tcp_keepalive values{};
    values.onoff = 1;
    values.keepalivetime = 13'000;
    values.keepaliveinterval = 1'500;
    DWORD returned = 0;
    ::WSAIoctl(handle(fd), SIO_KEEPALIVE_VALS, &values, sizeof values, nullptr, 0, &returned,
               nullptr, nullptr);
    DWORD max_rt_s = 27;
    ::setsockopt(handle(fd), IPPROTO_TCP, kTcpMaxRt, reinterpret_cast<const char*>(&max_rt_s),
                 sizeof max_rt_s);
}

// A recv already waiting is not woken by the shutdown alone (wine leaves it
// waiting for the peer), so it is cancelled too: it then fails, and a recv
// that comes after the shutdown fails at once.
void shutdown_connection(int fd) {
    ::shutdown(handle(fd), SD_BOTH);
    ::CancelIoEx(reinterpret_cast<HANDLE>(handle(fd)), nullptr);
}

void set_nonblocking(int fd) {
    u_long on = 1;
    ::ioctlsocket(handle(fd), FIONBIO, &on);
}

namespace {

long result_of(int r) {
    if (r != SOCKET_ERROR) return r;
    return ::WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : -1;
}

}  // namespace

// Windows raises no signal for a peer that has gone: a send just fails.
long send_bytes(int fd, const char* bytes, std::size_t n) {
    return result_of(::send(handle(fd), bytes, static_cast<int>(n), 0));
}

long receive_bytes(int fd, char* buf, std::size_t n) {
    return result_of(::recv(handle(fd), buf, static_cast<int>(n), 0));
}

long peek_bytes(int fd, char* buf, std::size_t n) {
    return result_of(::recv(handle(fd), buf, static_cast<int>(n), MSG_PEEK));
}

}  // namespace net
