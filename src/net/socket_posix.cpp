// Sockets on POSIX: Berkeley sockets as they are.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "net/socket.h"

namespace net {

Socket::~Socket() {
    if (fd_ >= 0) ::close(fd_);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int Socket::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

void set_nodelay(int fd) {
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void shutdown_connection(int fd) { ::shutdown(fd, SHUT_RDWR); }

long send_bytes(int fd, const char* bytes, std::size_t n) {
    ssize_t r;
    do {
        r = ::send(fd, bytes, n, MSG_NOSIGNAL);
    } while (r < 0 && errno == EINTR);
    return static_cast<long>(r);
}

long receive_bytes(int fd, char* buf, std::size_t n) {
    ssize_t r;
    do {
        r = ::recv(fd, buf, n, 0);
    } while (r < 0 && errno == EINTR);
    return static_cast<long>(r);
}

}  // namespace net
