// Making the connection a match is played on: the host listens on port 8080
// and takes one joiner; the joiner's player types the host's IPv4 address.
// Every step reports how it went; what to do about a failure (show it, try
// again) is the caller's decision.
#pragma once

#include <string>

#include "console/line_input.h"
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

    bool ok() const { return error == LinkError::none; }
};

// The system's own words for error number `code` of a connection step, as
// CP949 text.
std::string system_error_text(int code);

// Listens on port 8080 of every local address, backlog 5. SO_REUSEADDR lets
// the next pass bind again while the connection of the last match lingers.
Link listen_for_peer();

// Waits, without limit, for one joiner on the listening socket `serv_sock`,
// which it closes once the joiner is in: it serves nothing after its accept.
// The connection comes back with Nagle's algorithm off and keepalive on.
Link accept_peer(Socket serv_sock);

// What a connect does with the keys typed while it waits.
enum class KeysWhileConnecting {
    ignored,         // left in the console's input
    escape_cancels,  // Esc gives up; every other key is dropped
};

// Connects to port 8080 at `ip`, which must be a dotted-quad IPv4 address
// and nothing else. Waits as long as the system tries, or until Esc when
// `keys` says so. The connection comes back with Nagle's algorithm off and
// keepalive on.
Link connect_to_host(const char* ip, KeysWhileConnecting keys = KeysWhileConnecting::ignored);

// The screens of the two connection steps. Every text starts at cell 80:
// the host's waiting text and the joiner's prompt on row 25, and why the
// last step failed on row 27, below them.
void show_waiting_text();
void show_server_ip_prompt();
// On the error row while a connect waits.
void show_connecting_text();
void show_link_error(const Link& link);
void clear_link_error();

enum class IpRead {
    line,      // `ip` holds the typed line
    too_long,  // the line had more than 19 bytes; `ip` is empty
    ended,     // the keyboard is gone; `ip` is empty
};

// Reads the address line, echoed in the field right behind the prompt, into
// `ip`: at most 19 bytes and the NUL. A longer line is no address and is not
// stored. Enter is not stored. The line starts as `address` (CP949: the one
// typed last), with the cursor after it, and `address` is then the line as
// typed.
IpRead read_server_ip(console::LineInput& input, std::string& address, char (&ip)[20]);

}  // namespace net
