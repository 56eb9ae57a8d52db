// The connection steps as both socket libraries take them.
#include <utility>

#include "console/loop.h"
#include "net/host_join.h"
#include "net/host_join_detail.h"
#include "net/peer_events.h"

namespace net {

namespace {

Link failure(LinkError error, int code = 0) {
    Link link;
    link.error = error;
    link.code = code;
    return link;
}

Link failure_of(int code) {
    const LinkError error = detail::link_error_of(code);
    return failure(error, error == LinkError::other ? code : 0);
}

// A connection for a match: every event goes out at once, and a peer that
// vanishes is noticed.
Link connected(Socket sock) {
    set_nodelay(sock.fd());
    set_keepalive(sock.fd());
    Link link;
    link.sock = std::move(sock);
    return link;
}

}  // namespace

Link listen_for_peer() {
    Link link;
    const int code = detail::listen_any(link.sock);
    return code == 0 ? std::move(link) : failure_of(code);
}

Link accept_peer(Socket serv_sock) {
    for (;;) {
        Socket clnt_sock;
        const int code = detail::accept_one(serv_sock, clnt_sock);
        if (code == 0) return connected(std::move(clnt_sock));
        if (!detail::accept_goes_on(code)) return failure_of(code);
    }
}

bool is_a_player(const Socket& sock) {
    set_nonblocking(sock.fd());
    const auto until = console::Clock::now() + kFirstByteWait;
    const console::Watch watch{sock.fd()};
    bool heard = false;
    for (;;) {
        const console::Turn turn = console::next_turn(console::Keys::leave, {&watch, 1}, until);
        if (turn.ready_for(watch.sock)) {
            char data[512];
            const long n = peek_bytes(sock.fd(), data, sizeof data);
            if (n == 0 || n == -1) return false;
            if (n > 0) {
                heard = true;
                long first_event = 0;
                while (first_event < n && !event_of(data[first_event])) ++first_event;
                if (first_event > 0)
                    receive_bytes(sock.fd(), data, static_cast<std::size_t>(first_event));
                if (first_event < n) return true;
            }
        }
        if (turn.timed_out) return !heard;
    }
}

namespace {

Link connect_to(const char* ip, bool wait) {
    std::uint32_t addr = 0;
    if (!detail::parse_ipv4(ip, addr)) return failure(LinkError::not_an_address);
    Link link;
    const int code = detail::start_connect(addr, wait, link.sock);
    if (code == detail::kInProgress) {
        link.connecting = true;
        return link;
    }
    if (code != 0) return failure_of(code);
    return connected(std::move(link.sock));
}

}  // namespace

Link start_connect(const char* ip) { return connect_to(ip, false); }

Link finish_connect(Socket sock) {
    const int code = detail::connect_result(sock);
    if (code != 0) return failure_of(code);
    return connected(std::move(sock));
}

Link connect_to_host(const char* ip) { return connect_to(ip, true); }

}  // namespace net
