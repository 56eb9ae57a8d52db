#include "net/peer_link.h"

#include "net/peer_events.h"
#include "net/socket.h"

namespace net {

PeerReceiver::PeerReceiver(int sock)
    : sock_(sock), thread_([this] { receive_events(sock_, stopping_); }) {}

PeerReceiver::~PeerReceiver() { stop(); }

void PeerReceiver::stop() {
    if (!thread_.joinable()) return;
    stop_receiver(stopping_);
    shutdown_connection(sock_);
    thread_.join();
}

}  // namespace net
