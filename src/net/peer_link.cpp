#include "net/peer_link.h"

#include "net/socket.h"

namespace net {

namespace {

// What one call reads at most, so that a peer that never stops sending
// leaves the loop its turns, and none of it is held.
constexpr std::size_t kReadsAtOnce = 64;
constexpr std::size_t kReadSize = 512;

}  // namespace

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

long PeerLink::read_some(char* buf, std::size_t n) {
    if (ended_) return 0;
    const long got = receive_bytes(sock_, buf, n);
    if (got == kWouldBlock) return -1;
    if (got <= 0) {
        end();
        return 0;
    }
    heard_ = true;
    return got;
}

void PeerLink::end() {
    ended_ = true;
    outbox_.clear();
}

void PeerLink::receive(std::vector<PeerEvent>& events) {
    const std::size_t before = events.size();
    for (std::size_t i = 0; i < kReadsAtOnce && !ended_; ++i) {
        char data[kReadSize];
        const long n = read_some(data, sizeof data);
        if (n < 0) return;
        if (n > 0) add_events(data, static_cast<std::size_t>(n), events);
        if (events.size() - before > kMaxEventsAtOnce) {
            events.resize(before + kMaxEventsAtOnce);
            flooded_ = true;
            shut();
        }
        if (ended_) events.push_back(PeerEvent::left);
    }
}

void PeerLink::discard() {
    for (std::size_t i = 0; i < kReadsAtOnce; ++i) {
        char data[kReadSize];
        if (read_some(data, sizeof data) <= 0) return;
    }
}

void PeerLink::shut() {
    if (sock_ >= 0) shutdown_connection(sock_);
    end();
}

}  // namespace net
