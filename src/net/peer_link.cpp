#include "net/peer_link.h"

#include "net/socket.h"

namespace net {

PeerReceiver::PeerReceiver(int sock, PostEvent post)
    : sock_(sock), post_(std::move(post)), thread_([this] {
          receive_events(sock_, post_, stopping_);
          std::lock_guard lock(mutex_);
          ended_ = true;
          ended_changed_.notify_all();
      }) {}

PeerReceiver::~PeerReceiver() { stop(); }

bool PeerReceiver::stop_after_peer_closes(std::chrono::milliseconds limit) {
    bool closed;
    {
        std::unique_lock lock(mutex_);
        closed = ended_changed_.wait_for(lock, limit, [this] { return ended_; });
    }
    stop();
    return closed;
}

void PeerReceiver::stop() {
    if (!thread_.joinable()) return;
    stopping_.store(true);
    shutdown_connection(sock_);
    thread_.join();
}

}  // namespace net
