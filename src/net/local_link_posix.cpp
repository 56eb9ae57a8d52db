// A local connection on POSIX: a socket pair.
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

#include "net/local_link.h"

namespace net {

LocalPair local_pair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        LocalPair failed;
        failed.code = errno;
        return failed;
    }
    LocalPair pair;
    pair.one = Socket(fds[0]);
    pair.other = Socket(fds[1]);
    return pair;
}

Readable wait_readable(int fd, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
        if (r > 0) return Readable::yes;
        if (r == 0) return Readable::timeout;
        if (errno != EINTR) return Readable::failed;
    }
}

}  // namespace net
