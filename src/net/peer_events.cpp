#include "net/peer_events.h"

#include "net/socket.h"

namespace net {

std::optional<PeerEvent> event_of(char byte) {
    switch (byte) {
        case kKnockEvent:
            return PeerEvent::knock;
        case kRaiseEvent:
            return PeerEvent::raise;
        case kHello:
            return PeerEvent::hello;
        case kHostWon:
            return PeerEvent::host_won;
        case kHostLost:
            return PeerEvent::host_lost;
        default:
            return std::nullopt;
    }
}

void send_event(int sock, char event) { send_bytes(sock, &event, 1); }

void add_events(const char* bytes, std::size_t n, std::vector<PeerEvent>& events) {
    for (std::size_t i = 0; i < n; ++i) {
        if (std::optional<PeerEvent> event = event_of(bytes[i])) events.push_back(*event);
    }
}

}  // namespace net
