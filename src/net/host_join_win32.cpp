// Listening, accepting and connecting with Winsock 2.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "console/encoding_win32.h"
#include "net/host_join.h"
#include "net/winsock.h"

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
        case WSAEADDRINUSE:
        case WSAEACCES:  // an exclusive binding of another program holds the port
            return failure(LinkError::port_in_use);
        case WSAECONNREFUSED:
            return failure(LinkError::refused);
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
            return failure(LinkError::no_answer);
        default:
            return failure(LinkError::other, code);
    }
}

Link last_failure() { return failure_of(::WSAGetLastError()); }

Link connected(Socket sock) {
    set_nodelay(sock.fd());
    Link link;
    link.sock = std::move(sock);
    return link;
}

SOCKET handle(const Socket& s) { return static_cast<SOCKET>(s.fd()); }

}  // namespace

std::string system_error_text(int code) {
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || text == nullptr) return "Winsock " + std::to_string(code);
    std::wstring words(text, n);
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n')) words.pop_back();
    return console::from_wide(words, console::kCodePageCp949);
}

Link listen_for_peer() {
    start_winsock();
    Socket serv_sock(socket_fd(::socket(AF_INET, SOCK_STREAM, 0)));
    if (serv_sock.fd() < 0) return last_failure();
    // On Windows SO_REUSEADDR would let any other program bind port 8080
    // over ours while we listen and take our joiner. SO_EXCLUSIVEADDRUSE
    // forbids that; an earlier pass's connection that has been closed does
    // not stand in the way of the next bind.
    BOOL on = TRUE;
    ::setsockopt(handle(serv_sock), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
    sockaddr_in serv_addr{};
    serv_addr.sin_family = AF_INET;
    serv_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    serv_addr.sin_port = htons(PEER_PORT);
    if (::bind(handle(serv_sock), reinterpret_cast<sockaddr*>(&serv_addr), sizeof serv_addr) != 0) {
        return last_failure();
    }
    if (::listen(handle(serv_sock), 5) != 0) return last_failure();
    Link link;
    link.sock = std::move(serv_sock);
    return link;
}

Link accept_peer(Socket serv_sock) {
    for (;;) {
        sockaddr_in clnt_addr{};
        int clntAdrSize = sizeof clnt_addr;
        SOCKET clnt_sock =
            ::accept(handle(serv_sock), reinterpret_cast<sockaddr*>(&clnt_addr), &clntAdrSize);
        if (clnt_sock != INVALID_SOCKET) return connected(Socket(socket_fd(clnt_sock)));
        int code = ::WSAGetLastError();
        // A joiner that gave up between its connect and our accept: the
        // listening socket is fine and the wait goes on.
        if (code != WSAECONNRESET && code != WSAEINTR) return failure_of(code);
    }
}

Link connect_to_host(const char* ip) {
    start_winsock();
    sockaddr_in serveraddr{};
    serveraddr.sin_family = AF_INET;
    serveraddr.sin_port = htons(PEER_PORT);
    // inet_pton takes exactly four decimal numbers 0-255 with dots between,
    // and nothing else: no blanks, no shortened forms, no host names.
    if (::inet_pton(AF_INET, ip, &serveraddr.sin_addr) != 1) {
        return failure(LinkError::not_an_address);
    }
    Socket sock(socket_fd(::socket(AF_INET, SOCK_STREAM, 0)));
    if (sock.fd() < 0) return last_failure();
    if (::connect(handle(sock), reinterpret_cast<sockaddr*>(&serveraddr), sizeof serveraddr) != 0) {
        return last_failure();
    }
    return connected(std::move(sock));
}

}  // namespace net
