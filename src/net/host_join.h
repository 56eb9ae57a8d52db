// Making the connection a match is played on: the host listens on port 8080
// and takes one joiner; the joiner's player types the host's IPv4 address.
// Every step reports how it went; what to do about a failure (show it, try
// again) is the caller's decision.
#pragma once

#include <string>

#include "net/socket.h"

namespace net {

inline constexpr int PEER_PORT = 8080;

enum class LinkError {
    none,
    port_in_use,     // another socket here already listens on port 8080
    refused,         // nothing listens on port 8080 at that address
    no_answer,       // the address, or the network to it, did not answer
    not_an_address,  // the typed text is no IPv4 address
    cancelled,       // the player pressed Esc while the connect waited
    other,           // anything else; `code` holds the system's error number
};

// The result of one connection step: a socket when it worked, else why not.
struct Link {
    Socket sock;
    LinkError error = LinkError::none;
    int code = 0;  // the system's error number (errno, WSAGetLastError), for LinkError::other
    bool connecting = false;  // start_connect: the connect goes on

    bool ok() const { return error == LinkError::none; }
};

// The system's own words for error number `code` of a connection step, as
// CP949 text.
std::string system_error_text(int code);

// Listens on port 8080 of every local address, backlog 5. SO_REUSEADDR lets
// the next pass bind again while the connection of the last match lingers.
Link listen_for_peer();

// Waits, without limit, for one joiner (at once, when the loop has found
// the listening socket readable) on the listening socket `serv_sock`,
// which it closes once the joiner is in: it serves nothing after its accept.
// The connection comes back with Nagle's algorithm off and keepalive on.
Link accept_peer(Socket serv_sock);

// Starts connecting to port 8080 at `ip`, which must be a dotted-quad IPv4
// address and nothing else. While the connect goes on, the link holds its
// socket and `connecting` is set: the caller waits, as long as it likes, for
// the socket to be writable, then finish_connect says how it went.
Link start_connect(const char* ip);
// The connection comes back with Nagle's algorithm off and keepalive on.
Link finish_connect(Socket sock);

// Connects to port 8080 at `ip` and waits as long as the system tries.
Link connect_to_host(const char* ip);

// The screens of the two connection steps. Every text starts at cell 80:
// the host's waiting text and the joiner's prompt on row 25, and why the
// last step failed on row 27, below them.
void show_waiting_text();
// The keys of the host's wait, below it: for a player who has pressed one.
void show_waiting_keys();
void show_server_ip_prompt();
// On the error row while a connect waits.
void show_connecting_text();
void show_link_error(const Link& link);
void clear_link_error();

enum class IpRead {
    line,       // `ip` holds the typed line
    too_long,   // the line had more than 19 bytes; `ip` is empty
    ended,      // the keyboard is gone; `ip` is empty
    cancelled,  // the player pressed Esc; `ip` is empty
};

// Reads the address line in the program's loop, echoed in the field right
// behind the prompt, into `ip`: at most 19 bytes. A longer line is no
// address and is not stored. Enter is not stored, and leaves the line
// standing in the field. The line starts as `address` (CP949: the one typed
// last), with the cursor after it, and `address` is then the line as typed.
// Once a key is pressed, the keys that work show below the prompt.
IpRead read_server_ip(std::string& address, std::string& ip);

}  // namespace net
