// Real connections on this machine, and a collector of the events a peer
// receiver posts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "net/peer_events.h"
#include "net/socket.h"

namespace taja::test {

using namespace std::chrono_literals;

// Both ends of a connected AF_UNIX stream pair.
std::pair<net::Socket, net::Socket> socket_pair();
// Both ends of a TCP connection on 127.0.0.1 over an ephemeral port (never
// 8080), TCP_NODELAY on both. First the connecting end, then the accepted.
std::pair<net::Socket, net::Socket> tcp_pair();
// Closes a TCP socket so that the peer sees a reset rather than an end.
void close_with_reset(net::Socket& sock);
// One send of all of `bytes`, as a single write where the kernel allows.
void send_raw(int fd, std::string_view bytes);

// What a receiver posted, in order, for a test to wait on.
class Posted {
  public:
    net::PostEvent poster();
    // Waits until `done` holds for what has been posted so far, or the
    // deadline passes; returns whether it held.
    bool wait_for(const std::function<bool(const std::vector<net::PeerEvent>&)>& done,
                  std::chrono::milliseconds deadline = 10s);
    // Waits until `n` events have been posted.
    bool wait_count(std::size_t n, std::chrono::milliseconds deadline = 10s);
    std::vector<net::PeerEvent> events();
    long count(net::PeerEvent kind);

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<net::PeerEvent> events_;
};

}  // namespace taja::test
