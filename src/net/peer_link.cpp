#include "net/peer_link.h"

#include "net/socket.h"

namespace net {

PeerLink::PeerLink(int sock) : sock_(sock), ended_(sock < 0) {
    if (sock >= 0) set_nonblocking(sock);
}

console::Watch PeerLink::watch() const { return {sock_, !outbox_.empty()}; }

void PeerLink::send(char event) {
    if (ended_) return;
    outbox_ += event;
    flush();
}

void PeerLink::flush() {
    while (!outbox_.empty() && !ended_) {
        const long n = send_bytes(sock_, outbox_.data(), outbox_.size());
        if (n == kWouldBlock) return;
        if (n <= 0) {
            outbox_.clear();
            return;
        }
        outbox_.erase(0, static_cast<std::size_t>(n));
    }
}

void PeerLink::receive(std::vector<PeerEvent>& events) {
    while (!ended_) {
        char data[512];
        const long n = receive_bytes(sock_, data, sizeof data);
        if (n == kWouldBlock) return;
        if (n <= 0) {
            ended_ = true;
            outbox_.clear();
            events.push_back(PeerEvent::left);
            return;
        }
        add_events(data, static_cast<std::size_t>(n), events);
    }
}

void PeerLink::shut() {
    if (sock_ >= 0) shutdown_connection(sock_);
    ended_ = true;
    outbox_.clear();
}

}  // namespace net
