// Making the connection a match is played on: the host listens on its port
// (8080 unless --port says otherwise) and takes one joiner; the joiner's
// player types the host's address (a name, an IPv4 or IPv6 address, with or
// without a port) or chooses a host heard on the local network. These are
// the screens of those steps; the steps themselves are listener.h,
// resolver.h and connector.h, driven by the program's loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "console/loop.h"
#include "net/address.h"
#include "net/discovery.h"
#include "net/port_mapper.h"
#include "net/socket.h"

namespace net {

enum class LinkError {
    none,
    port_in_use,         // another socket here already listens on the port
    refused,             // nothing listens on that port at that address
    no_answer,           // the address, or the network to it, did not answer
    not_an_address,      // the typed text is no address, name or port
    bad_port,            // the typed port is no number from 1 to 65535
    name_not_found,      // the name has no address
    name_server_silent,  // no name server answered
    no_ipv6_route,       // only IPv6 addresses, and no route over IPv6 here
    cancelled,           // the player pressed Esc while the connect waited
    other,               // anything else; `code` holds the system's error number
};

// The result of one connection step: a socket when it worked, else why not.
struct Link {
    Socket sock;
    LinkError error = LinkError::none;
    int code = 0;  // the system's error number (errno, WSAGetLastError), for LinkError::other

    bool ok() const { return error == LinkError::none; }
};

// What the loop waits on for the steps' sockets (a socket waited on for
// writing waits for nothing else).
std::vector<console::Watch> loop_watches(const std::vector<Watch>& watches);

// The system's own words for error number `code` of a connection step, as
// CP949 text.
std::string system_error_text(int code);

// How long the host waits for the first byte of a connection it has taken
// before it draws anything for it.
inline constexpr std::chrono::milliseconds kFirstByteWait{1000};

// Whether the connection `sock`, just taken, is a player's: waits in the
// program's loop, at most kFirstByteWait, for what comes first. An event
// byte (a joiner's hello comes first) is a player's, and it is left to be
// read; so is silence, from a joiner too old to greet. A connection that
// ends, or sends only bytes that are no events, is a port scan or some other
// program: no match. The bytes before the first event are dropped, as the
// match would ignore them.
bool is_a_player(const Socket& sock);

// The screens of the two connection steps. Every text starts at cell 80:
// the host's waiting text and the joiner's prompt on row 25, and why the
// last step failed on row 27, below them.
void show_waiting_text();
// Under the waiting text, from row 29: the addresses a friend can type to
// reach this host (nothing when there are none).
void show_own_addresses(const std::vector<std::string>& addresses);
// The keys of the host's wait, above it: for a player who has pressed one.
void show_waiting_keys();
// Right under the waiting text, on row 26: what the router did with the
// hosting port `port`: the address and port a friend elsewhere types, and
// how it was opened; or that it could not be, and what is left to do.
void show_port_mapping(const PortMapping& mapping, std::uint16_t port);
void show_server_ip_prompt();
// On the error row while a connect waits.
void show_connecting_text();
// `port` is the one the host tried to listen on.
void show_link_error(const Link& link, std::uint16_t port = kDefaultPort);
void clear_link_error();

enum class IpRead {
    line,       // `ip` holds the typed line
    too_long,   // the line was longer than any address; `ip` is empty
    ended,      // the keyboard is gone; `ip` is empty
    cancelled,  // the player pressed Esc; `ip` is empty
};

// Reads the address line in the program's loop, echoed in the field right
// behind the prompt, into `ip`. A line longer than any address is not
// stored. Enter is not stored, and leaves the line standing in the field.
// The line starts as `address` (CP949: the one typed last), with the cursor
// after it, and `address` is then the line as typed. Meanwhile `finder`
// listens for hosts on the local network, listed under the prompt from row
// 29: Up and Down put one's address in the field. Once a key is pressed,
// the keys that work show above the prompt.
IpRead read_server_ip(std::string& address, std::string& ip, HostFinder& finder);

// The most bytes an address can have: "[" an IPv6 address with a zone "]:"
// a port.
inline constexpr std::size_t kMaxAddressBytes = 63;

}  // namespace net
