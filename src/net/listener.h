// The host's side of the connection for the event loop: one listening
// socket on every address, IPv6 and IPv4 alike, and the addresses a friend
// can type to reach it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/address.h"
#include "net/socket.h"

namespace net {

enum class ListenError {
    none,
    port_in_use,  // another socket here already listens on the port
    other,        // anything else; `code` holds the system's error number
};

struct Listening {
    Socket sock;  // non-blocking, backlog 5
    ListenError error = ListenError::none;
    int code = 0;

    bool ok() const { return error == ListenError::none; }
};

// Listens on `port` of every local address: one IPv6 socket that takes
// IPv4 connections too (IPV6_V6ONLY off), or an IPv4 socket where the
// system has no IPv6. The port is held for the next pass too (SO_REUSEADDR;
// on Windows SO_EXCLUSIVEADDRUSE, so no other program can take it over).
Listening listen_for_joiners(std::uint16_t port);

enum class AcceptResult {
    joined,  // `sock` holds the joiner's connection
    again,   // nobody waits after all (or one gave up): watch again
    failed,  // the listening socket is broken; `code` says why
};

// Takes one joiner from the listening socket `listener` once it turned
// readable. The connection comes back non-blocking, with Nagle's algorithm
// off and keepalive on.
AcceptResult accept_joiner(int listener, Socket& sock, int& code);

// This machine's addresses a friend can type to reach a host on `port`:
// IPv4 addresses first, then IPv6 ones, of interfaces that are up, as
// endpoint_text() writes them (the port only when it is not 8080), without
// loopback and link-local addresses, each once.
std::vector<std::string> own_address_texts(std::uint16_t port);

}  // namespace net
