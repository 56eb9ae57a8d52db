// Socket ownership, the same on every platform.
#include "net/socket.h"

namespace net {

Socket::~Socket() {
    if (fd_ >= 0) close(fd_);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int Socket::release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

}  // namespace net
