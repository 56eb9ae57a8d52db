// Listening, accepting and connecting with POSIX sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

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

// A connect that a signal interrupted goes on in the background; the result
// comes when the socket turns writable.
int finish_interrupted_connect(int fd) {
    pollfd p{fd, POLLOUT, 0};
    int r;
    do {
        r = ::poll(&p, 1, -1);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return errno;
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

Link connect_to_host(const char* ip) {
    sockaddr_in serveraddr{};
    serveraddr.sin_family = AF_INET;
    serveraddr.sin_port = htons(PEER_PORT);
    // inet_pton takes exactly four decimal numbers 0-255 with dots between,
    // and nothing else: no blanks, no shortened forms, no host names.
    if (::inet_pton(AF_INET, ip, &serveraddr.sin_addr) != 1) {
        return failure(LinkError::not_an_address);
    }
    Socket sock(::socket(AF_INET, SOCK_STREAM, 0));
    if (sock.fd() < 0) return failure_of(errno);
    if (::connect(sock.fd(), reinterpret_cast<sockaddr*>(&serveraddr), sizeof serveraddr) != 0) {
        int code = errno == EINTR ? finish_interrupted_connect(sock.fd()) : errno;
        if (code != 0) return failure_of(code);
    }
    return connected(std::move(sock));
}

}  // namespace net
