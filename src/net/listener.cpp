#include "net/listener.h"

#include <algorithm>

#include "net/ip_sockets.h"

namespace net {

Listening listen_for_joiners(std::uint16_t port) {
    Listening result;
    result.code = ip::listen_any(port, result.sock);
    if (result.code != 0) {
        result.sock = Socket();
        result.error =
            ip::is_port_in_use(result.code) ? ListenError::port_in_use : ListenError::other;
    }
    return result;
}

AcceptResult accept_joiner(int listener, Socket& sock, int& code) {
    code = ip::accept_one(listener, sock);
    if (code != 0) return ip::accept_goes_on(code) ? AcceptResult::again : AcceptResult::failed;
    set_nodelay(sock.fd());
    set_keepalive(sock.fd());
    return AcceptResult::joined;
}

std::vector<std::string> own_address_texts(std::uint16_t port) {
    std::vector<Endpoint> found;
    for (const ip::InterfaceAddress& a : ip::interface_addresses()) {
        if (a.loopback || !reachable_by_friend(a.ip)) continue;
        Endpoint e{a.ip, port};
        e.ip.scope = 0;
        if (std::find(found.begin(), found.end(), e) == found.end()) found.push_back(e);
    }
    std::stable_partition(found.begin(), found.end(),
                          [](const Endpoint& e) { return e.ip.family == Family::v4; });
    std::vector<std::string> texts;
    for (const Endpoint& e : found) texts.push_back(endpoint_text(e));
    return texts;
}

}  // namespace net
