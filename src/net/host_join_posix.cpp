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
#include "net/host_join.h"

namespace net {

namespace {

Link failure(LinkError error, int code = 0) {
    Link link;
    link.error = error;
    link.code = code;
    return link;
}

Link failure_of(int code) {
    switch (code) {
        case EADDRINUSE:
            return failure(LinkError::port_in_use);
        case ECONNREFUSED:
            return failure(LinkError::refused);
        case ETIMEDOUT:
        case EHOSTUNREACH:
        case ENETUNREACH:
            return failure(LinkError::no_answer);
        default:
            return failure(LinkError::other, code);
    }
}

Link connected(Socket sock) {
    set_nodelay(sock.fd());
    set_keepalive(sock.fd());
    Link link;
    link.sock = std::move(sock);
    return link;
}

// Errors that accept reports for a connection that broke before we took it,
// or for a signal: the listening socket is fine and the wait goes on (see
// accept(2): Linux passes pending network errors on to accept).
bool worth_waiting_on(int code) {
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

Link listen_for_peer() {
    Socket serv_sock(::socket(AF_INET, SOCK_STREAM, 0));
    if (serv_sock.fd() < 0) return failure_of(errno);
    int on = 1;
    ::setsockopt(serv_sock.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in serv_addr{};
    serv_addr.sin_family = AF_INET;
    serv_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    serv_addr.sin_port = htons(PEER_PORT);
    if (::bind(serv_sock.fd(), reinterpret_cast<sockaddr*>(&serv_addr), sizeof serv_addr) != 0) {
        return failure_of(errno);
    }
    if (::listen(serv_sock.fd(), 5) != 0) return failure_of(errno);
    Link link;
    link.sock = std::move(serv_sock);
    return link;
}

Link accept_peer(Socket serv_sock) {
    for (;;) {
        sockaddr_in clnt_addr{};
        socklen_t clntAdrSize = sizeof clnt_addr;
        int clnt_sock =
            ::accept(serv_sock.fd(), reinterpret_cast<sockaddr*>(&clnt_addr), &clntAdrSize);
        if (clnt_sock >= 0) return connected(Socket(clnt_sock));
        if (!worth_waiting_on(errno)) return failure_of(errno);
    }
}

Link connect_to_host(const char* ip, KeysWhileConnecting keys) {
    sockaddr_in serveraddr{};
    serveraddr.sin_family = AF_INET;
    serveraddr.sin_port = htons(PEER_PORT);
    // inet_pton takes exactly four decimal numbers 0-255 with dots between,
    // and nothing else: no blanks, no shortened forms, no host names.
    if (::inet_pton(AF_INET, ip, &serveraddr.sin_addr) != 1) {
        return failure(LinkError::not_an_address);
    }
    // Non-blocking while the connect waits, so that the wait can watch the
    // keyboard too; blocking again for the match.
    Socket sock(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
    if (sock.fd() < 0) return failure_of(errno);
    if (::connect(sock.fd(), reinterpret_cast<sockaddr*>(&serveraddr), sizeof serveraddr) != 0) {
        if (errno != EINPROGRESS && errno != EINTR) return failure_of(errno);
        int code = finish_connect(sock.fd(), keys);
        if (code < 0) return failure(LinkError::cancelled);
        if (code != 0) return failure_of(code);
    }
    ::fcntl(sock.fd(), F_SETFL, ::fcntl(sock.fd(), F_GETFL) & ~O_NONBLOCK);
    return connected(std::move(sock));
}

}  // namespace net
