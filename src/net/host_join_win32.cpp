// Listening, accepting and connecting with Winsock 2.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "console/encoding_win32.h"
#include "net/host_join_detail.h"
#include "net/winsock.h"

namespace net {

namespace {

SOCKET handle(const Socket& s) { return static_cast<SOCKET>(s.fd()); }

sockaddr_in peer_address(std::uint32_t addr) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = addr;
    address.sin_port = htons(PEER_PORT);
    return address;
}

// A new TCP socket in `sock`; the error code, 0 when it worked.
int open_tcp(Socket& sock) {
    start_winsock();
    sock = Socket(socket_fd(::socket(AF_INET, SOCK_STREAM, 0)));
    return sock.fd() < 0 ? ::WSAGetLastError() : 0;
}

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

namespace detail {

LinkError link_error_of(int code) {
    switch (code) {
        case WSAEADDRINUSE:
        case WSAEACCES:  // an exclusive binding of another program holds the port
            return LinkError::port_in_use;
        case WSAECONNREFUSED:
            return LinkError::refused;
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
        case WSAENETUNREACH:
            return LinkError::no_answer;
        default:
            return LinkError::other;
    }
}

bool accept_goes_on(int code) { return code == WSAECONNRESET || code == WSAEINTR; }

bool parse_ipv4(const char* ip, std::uint32_t& addr) {
    start_winsock();
    in_addr parsed{};
    if (::inet_pton(AF_INET, ip, &parsed) != 1) return false;
    addr = parsed.s_addr;
    return true;
}

int listen_any(Socket& serv_sock) {
    if (int code = open_tcp(serv_sock); code != 0) return code;
    // On Windows SO_REUSEADDR would let any other program bind port 8080
    // over ours while we listen and take our joiner. SO_EXCLUSIVEADDRUSE
    // forbids that; an earlier pass's connection that has been closed does
    // not stand in the way of the next bind.
    BOOL on = TRUE;
    ::setsockopt(handle(serv_sock), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                 reinterpret_cast<const char*>(&on), sizeof on);
    const sockaddr_in serv_addr = peer_address(htonl(INADDR_ANY));
    if (::bind(handle(serv_sock), reinterpret_cast<const sockaddr*>(&serv_addr),
               sizeof serv_addr) != 0 ||
        ::listen(handle(serv_sock), 5) != 0) {
        return ::WSAGetLastError();
    }
    return 0;
}

int accept_one(const Socket& serv_sock, Socket& clnt_sock) {
    sockaddr_in clnt_addr{};
    int clntAdrSize = sizeof clnt_addr;
    clnt_sock = Socket(socket_fd(
        ::accept(handle(serv_sock), reinterpret_cast<sockaddr*>(&clnt_addr), &clntAdrSize)));
    return clnt_sock.fd() < 0 ? ::WSAGetLastError() : 0;
}

int start_connect(std::uint32_t addr, bool wait, Socket& sock) {
    if (int code = open_tcp(sock); code != 0) return code;
    if (!wait) {
        u_long non_blocking = 1;
        ::ioctlsocket(handle(sock), FIONBIO, &non_blocking);
    }
    const sockaddr_in serveraddr = peer_address(addr);
    if (::connect(handle(sock), reinterpret_cast<const sockaddr*>(&serveraddr),
                  sizeof serveraddr) == 0)
        return 0;
    const int code = ::WSAGetLastError();
    return !wait && code == WSAEWOULDBLOCK ? kInProgress : code;
}

int connect_result(const Socket& sock) {
    int code = 0;
    int len = sizeof code;
    if (::getsockopt(handle(sock), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &len) !=
        0)
        return ::WSAGetLastError();
    return code;
}

}  // namespace detail

}  // namespace net
