// Real connections on this machine, and what arrives on them.
#pragma once

#include <chrono>
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

// Everything that arrives on `fd`, as the wire's events, until the
// connection ends (`left` last) or `deadline` passes. It reads as much as
// comes: no limit of the match's on what one read may bring.
std::vector<net::PeerEvent> receive_until_end(int fd, std::chrono::milliseconds deadline = 10s);

}  // namespace taja::test
