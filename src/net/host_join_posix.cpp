// Listening, accepting and connecting with POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "console/console.h"
#include "console/keys.h"
#include "net/host_join_detail.h"

namespace net {

namespace {

sockaddr_in peer_address(std::uint32_t addr) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = addr;
    address.sin_port = htons(PEER_PORT);
    return address;
}

// Waits for the connect started on the non-blocking `fd` to end, and for
// the keyboard too when Esc may cancel it. The connect's error number (0
// once connected), or -1 when the player pressed Esc.
int finish_connect(int fd, KeysWhileConnecting keys) {
    bool watch_keys = keys == KeysWhileConnecting::escape_cancels;
    for (;;) {
        pollfd p[2] = {{fd, POLLOUT, 0}, {console::console_in(), POLLIN, 0}};
        int r = ::poll(p, watch_keys ? 2 : 1, -1);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return errno;
        if (p[0].revents != 0) break;
        switch (console::take_waiting_keys()) {
            case console::KeysWaiting::escape:
                return -1;
            case console::KeysWaiting::ended:
                watch_keys = false;
                break;
            case console::KeysWaiting::none:
                break;
        }
    }
    int code = 0;
    socklen_t len = sizeof code;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &len) != 0) return errno;
    return code;
}

}  // namespace

// ASCII: the program leaves the messages' locale at "C".
std::string system_error_text(int code) { return std::strerror(code); }

namespace detail {

LinkError link_error_of(int code) {
    switch (code) {
        case EADDRINUSE:
            return LinkError::port_in_use;
        case ECONNREFUSED:
            return LinkError::refused;
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return LinkError::no_answer;
        default:
            return LinkError::other;
    }
}

// Linux also passes pending network errors of a connection that broke
// before we took it on to accept (see accept(2)).
bool accept_goes_on(int code) {
    switch (code) {
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETDOWN:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

bool parse_ipv4(const char* ip, std::uint32_t& addr) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, ip, &parsed) != 1) return false;
    addr = parsed.s_addr;
    return true;
}

int listen_any(Socket& serv_sock) {
    serv_sock = Socket(::socket(AF_INET, SOCK_STREAM, 0));
    if (serv_sock.fd() < 0) return errno;
    // The next pass binds again while the connection of the last match
    // lingers.
    int on = 1;
    ::setsockopt(serv_sock.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in serv_addr = peer_address(htonl(INADDR_ANY));
    if (::bind(serv_sock.fd(), reinterpret_cast<const sockaddr*>(&serv_addr), sizeof serv_addr) !=
            0 ||
        ::listen(serv_sock.fd(), 5) != 0) {
        return errno;
    }
    return 0;
}

int accept_one(const Socket& serv_sock, Socket& clnt_sock) {
    sockaddr_in clnt_addr{};
    socklen_t clntAdrSize = sizeof clnt_addr;
    clnt_sock =
        Socket(::accept(serv_sock.fd(), reinterpret_cast<sockaddr*>(&clnt_addr), &clntAdrSize));
    return clnt_sock.fd() < 0 ? errno : 0;
}

// Non-blocking while the connect waits, so that the wait can watch the
// keyboard too; blocking again for the match.
int connect_watching_keys(std::uint32_t addr, KeysWhileConnecting keys, Socket& sock) {
    sock = Socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    if (sock.fd() < 0) return errno;
    const sockaddr_in serveraddr = peer_address(addr);
    if (::connect(sock.fd(), reinterpret_cast<const sockaddr*>(&serveraddr), sizeof serveraddr) !=
        0) {
        if (errno != EINPROGRESS && errno != EINTR) return errno;
        if (int code = finish_connect(sock.fd(), keys); code != 0) return code;
    }
    ::fcntl(sock.fd(), F_SETFL, ::fcntl(sock.fd(), F_GETFL) & ~O_NONBLOCK);
    return 0;
}

}  // namespace detail

}  // namespace net
