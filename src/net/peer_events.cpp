#include "net/peer_events.h"

#include <array>

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

void receive_events(int sock, const PostEvent& post, const std::atomic<bool>& stopping) {
    for (;;) {
        std::array<char, 100> data{};
        long n = receive_bytes(sock, data.data(), data.size());
        if (stopping.load()) return;
        if (n <= 0) {
            post(PeerEvent::left);
            return;
        }
        for (long i = 0; i < n; ++i) {
            if (std::optional<PeerEvent> event = event_of(data[static_cast<std::size_t>(i)]))
                post(*event);
        }
    }
}

}  // namespace net
