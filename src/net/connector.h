// Connecting to a host that has several addresses, for the event loop, as
// RFC 8305 (Happy Eyeballs) describes: IPv6 and IPv4 addresses take turns,
// IPv6 first; a new attempt starts every 250 ms while the earlier ones
// still wait (at once when one fails); the first connection made wins and
// the others are closed. A dead address so costs a quarter of a second,
// not the system's whole connect timeout.
#pragma once

#include <optional>
#include <vector>

#include "net/address.h"
#include "net/socket.h"

namespace net {

// How long an attempt has to itself before the next one starts.
inline constexpr std::chrono::milliseconds kConnectStagger{250};

enum class ConnectError {
    none,
    refused,        // a machine answered: nothing listens on that port
    no_answer,      // the address, or the network to it, did not answer
    no_ipv6_route,  // only IPv6 addresses, and this machine has no route over IPv6
    other,          // anything else; `code` holds the system's error number
};

struct ConnectFailure {
    ConnectError error = ConnectError::none;
    int code = 0;  // errno or WSAGetLastError(), for ConnectError::other
};

class Connector {
  public:
    // Starts the first attempt now. No endpoints fails at once (other).
    Connector(std::vector<Endpoint> endpoints, Clock::time_point now);

    // The sockets whose connects still wait (each to be watched for
    // writing: it turns writable, or shows an error, when its connect ends).
    std::vector<Watch> watches() const;
    // When the next attempt starts; nothing when none is left to start or
    // the connector is done.
    std::optional<Clock::time_point> deadline() const;
    // Socket `sock` of watches() is ready.
    void on_ready(int sock, Clock::time_point now);
    // deadline() has come.
    void on_deadline(Clock::time_point now);

    bool done() const;
    // Once done(): the connection (non-blocking, Nagle's algorithm off,
    // keepalive on, see socket.h), or an empty Socket and failure() says why.
    Socket take_socket();
    // Once done() without a connection: why, taken from the attempt that
    // got furthest (a refusal says more than silence).
    ConnectFailure failure() const;
    // The endpoint connected to, once take_socket() has a socket to give.
    const Endpoint& connected_to() const;

  private:
    struct Attempt {
        Socket sock;
        std::size_t endpoint = 0;
    };

    void start_next(Clock::time_point now);
    void failed(std::size_t endpoint, int code);
    void finish_if_over();

    std::vector<Endpoint> order_;
    std::size_t next_ = 0;
    std::vector<Attempt> waiting_;
    Clock::time_point next_start_{};
    Socket won_;
    std::size_t won_endpoint_ = 0;
    bool done_ = false;
    ConnectFailure failure_;
};

// The RFC's order: IPv6 and IPv4 taking turns, starting with the family of
// the first address (IPv6 when there is one), each family in its own
// order.
std::vector<Endpoint> happy_eyeballs_order(std::vector<Endpoint> endpoints);

}  // namespace net
