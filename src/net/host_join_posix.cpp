// Listening, accepting and connecting with POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

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

int start_connect(std::uint32_t addr, bool wait, Socket& sock) {
    sock = Socket(::socket(AF_INET, SOCK_STREAM | (wait ? 0 : SOCK_NONBLOCK), 0));
    if (sock.fd() < 0) return errno;
    const sockaddr_in serveraddr = peer_address(addr);
    if (::connect(sock.fd(), reinterpret_cast<const sockaddr*>(&serveraddr), sizeof serveraddr) ==
        0)
        return 0;
    if (!wait && (errno == EINPROGRESS || errno == EINTR)) return kInProgress;
    if (errno == EINTR) {
        // An interrupted blocking connect goes on in the background.
        pollfd p{sock.fd(), POLLOUT, 0};
        while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
        }
        return connect_result(sock);
    }
    return errno;
}

int connect_result(const Socket& sock) {
    int code = 0;
    socklen_t len = sizeof code;
    if (::getsockopt(sock.fd(), SOL_SOCKET, SO_ERROR, &code, &len) != 0) return errno;
    return code;
}

}  // namespace detail

}  // namespace net
