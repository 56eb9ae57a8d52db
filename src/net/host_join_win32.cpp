// Listening, accepting and connecting with Winsock 2.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "console/encoding_win32.h"
#include "console/keys.h"
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
    set_keepalive(sock.fd());
    Link link;
    link.sock = std::move(sock);
    return link;
}

SOCKET handle(const Socket& s) { return static_cast<SOCKET>(s.fd()); }

// Whether the keyboard says to give up: Esc pressed, or -- when it has
// ended -- never again, so the wait stops watching it.
bool escape_pressed(bool& watch_keys) {
    switch (console::take_waiting_keys()) {
        case console::KeysWaiting::escape:
            return true;
        case console::KeysWaiting::ended:
            watch_keys = false;
            return false;
        case console::KeysWaiting::none:
            return false;
    }
    return false;
}

// Connects `s` to `addr`, waiting on the connect's event and, when Esc may
// cancel, on the console's input. The connect's error code (0 once
// connected), or -1 when the player pressed Esc. Leaves `s` blocking.
int connect_watching_keys(SOCKET s, const sockaddr_in& addr, KeysWhileConnecting keys) {
    WSAEVENT done = ::WSACreateEvent();
    if (done == WSA_INVALID_EVENT) return ::WSAGetLastError();
    // Makes the socket non-blocking for as long as the event is selected.
    ::WSAEventSelect(s, done, FD_CONNECT);
    int code = 0;
    if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        code = ::WSAGetLastError();
    }
    if (code == WSAEWOULDBLOCK) {
        HANDLE waits[2] = {done, ::GetStdHandle(STD_INPUT_HANDLE)};
        bool watch_keys = keys == KeysWhileConnecting::escape_cancels;
        for (;;) {
            DWORD r = ::WaitForMultipleObjects(watch_keys ? 2 : 1, waits, FALSE, INFINITE);
            if (r == WAIT_OBJECT_0) {
                WSANETWORKEVENTS events{};
                ::WSAEnumNetworkEvents(s, done, &events);
                code = events.iErrorCode[FD_CONNECT_BIT];
                break;
            }
            if (r == WAIT_OBJECT_0 + 1 && escape_pressed(watch_keys)) {
                code = -1;
                break;
            }
            if (r == WAIT_FAILED) watch_keys = false;  // no console input to wait on
        }
    }
    ::WSAEventSelect(s, nullptr, 0);
    u_long non_blocking = 0;
    ::ioctlsocket(s, FIONBIO, &non_blocking);
    ::WSACloseEvent(done);
    return code;
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

Link connect_to_host(const char* ip, KeysWhileConnecting keys) {
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
    int code = connect_watching_keys(handle(sock), serveraddr, keys);
    if (code < 0) return failure(LinkError::cancelled);
    if (code != 0) return failure_of(code);
    return connected(std::move(sock));
}

}  // namespace net
