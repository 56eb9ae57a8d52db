// The socket calls of the resolver, the connector, the listener and the
// discovery, cut where the socket libraries differ: ip_sockets_posix.cpp and
// ip_sockets_win32.cpp each make them their own way. Addresses cross this
// line as net::Endpoint; error numbers are errno or WSAGetLastError().
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/address.h"
#include "net/connector.h"
#include "net/listener.h"
#include "net/resolver.h"
#include "net/socket.h"

namespace net::ip {

// getaddrinfo for TCP over every family. Blocks.
Resolved lookup(const std::string& host, std::uint16_t port);

// A new non-blocking TCP socket in `sock` with a connect to `to` started.
// The system's error number when the connect failed at once, else 0 (it
// waits, or is already made).
int start_connect(const Endpoint& to, Socket& sock);

enum class ConnectState { waiting, connected, failed };

// Where the connect on `fd` stands, without waiting; `code` is its error
// number when it failed.
ConnectState connect_state(int fd, int& code);

// What a connect's error number means to the player.
ConnectError connect_error_of(int code, Family family);

// The listening socket of listen_for_joiners(), non-blocking: IPv6 taking
// IPv4 too, else IPv4. The system's error number, or 0.
int listen_any(std::uint16_t port, Socket& sock);
bool is_port_in_use(int code);
// accept(); a non-blocking connection, or the error number.
int accept_one(int listener, Socket& sock);
// Whether an accept that failed with `code` leaves the listener as it was.
bool accept_goes_on(int code);

// One address of an interface that is up.
struct InterfaceAddress {
    IpAddress ip;                        // an IPv6 one carries its interface index as zone
    std::optional<IpAddress> broadcast;  // IPv4 on a link that has broadcast
    unsigned index = 0;                  // the interface's index
    bool loopback = false;
    bool multicast = false;  // the link takes multicast
};
std::vector<InterfaceAddress> interface_addresses();

// A non-blocking UDP socket of `family` bound to `port` on every address,
// shared with other programs' sockets on it, able to broadcast, with a TTL
// (hop limit) of 1 for everything it sends; an empty Socket when there is
// none to be had.
Socket discovery_socket(Family family, std::uint16_t port);
// Joins the IPv6 multicast group `group` on the interface `index`.
void join_group(int fd, const IpAddress& group, unsigned index);
void send_datagram(int fd, const Endpoint& to, const std::vector<std::uint8_t>& bytes);
// One datagram into `buf`, its sender in `from`; its size (which may be more
// than `size`: it was cut), -1 when none waits, or kPortClosed when the
// system says that a datagram sent earlier met a closed port (an ICMP
// "port unreachable"; on a connected socket, from that socket's peer).
constexpr long kPortClosed = -2;
long receive_datagram(int fd, std::uint8_t* buf, std::size_t size, Endpoint& from);

// The gateway of the default route of `family` with the lowest metric (an
// IPv6 one with its interface's index as zone); nothing when there is none.
std::optional<IpAddress> default_gateway(Family family);
// A non-blocking UDP socket connected to `to`, which is then the only
// sender it hears, and in `local` the address the system sends to it from;
// an empty Socket when there is none.
Socket udp_socket_to(const Endpoint& to, IpAddress& local);

// This machine's name (UTF-8).
std::string machine_name();

}  // namespace net::ip
