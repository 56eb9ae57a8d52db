// The peer's byte stream, as the match's end of the connection reads it from
// a real socket: every byte of the wire format is exactly one event, in wire
// order, every other byte is nothing, and the end of the connection comes
// last, once; a flood of events ends it early, and no read brings more than
// the limit.
#include <sys/socket.h>
#include <unistd.h>

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "check.h"
#include "net/peer_events.h"
#include "net/peer_link.h"
#include "net/socket.h"

namespace {

// The wire format, written out: the bytes that are events, and which.
std::optional<net::PeerEvent> wire_event(std::uint8_t byte) {
    switch (byte) {
        case 'c': return net::PeerEvent::knock;
        case 'u': return net::PeerEvent::raise;
        case 'h': return net::PeerEvent::hello;
        case 'w': return net::PeerEvent::host_won;
        case 'l': return net::PeerEvent::host_lost;
        default: return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // All of it must fit in the socket's buffer before anything reads it.
    if (size > 64 * 1024) return 0;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    net::Socket ours(fds[0]);
    net::Socket peer(fds[1]);
    for (std::size_t sent = 0; sent < size;) {
        const long n = net::send_bytes(peer.fd(), reinterpret_cast<const char*>(data) + sent,
                                       size - sent);
        if (n <= 0) return 0;
        sent += static_cast<std::size_t>(n);
    }
    peer = net::Socket();

    std::vector<net::PeerEvent> received;
    net::PeerLink link(ours.fd());
    while (!link.ended()) {
        pollfd p{ours.fd(), POLLIN, 0};
        ::poll(&p, 1, -1);
        const std::size_t before = received.size();
        link.receive(received);
        fuzz::check(received.size() - before <= net::kMaxEventsAtOnce + 1,
                    "a read brings no more than the limit, and the end");
    }

    std::vector<net::PeerEvent> expected;
    for (std::size_t i = 0; i < size; ++i) {
        if (std::optional<net::PeerEvent> e = wire_event(data[i])) {
            expected.push_back(*e);
        }
    }
    fuzz::check(!received.empty() && received.back() == net::PeerEvent::left, "the end comes last");
    received.pop_back();
    if (link.flooded()) {
        fuzz::check(expected.size() > net::kMaxEventsAtOnce, "only a flood ends the link early");
        expected.resize(received.size());
    }
    fuzz::check(received == expected, "every event arrives, in wire order, nothing after the end");
    return 0;
}
