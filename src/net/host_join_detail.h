// The connection steps of host_join.h, cut where the socket libraries
// differ: host_join_steps.cpp strings the steps together and decides what
// a failure means once, and host_join_posix.cpp / host_join_win32.cpp each
// make the few calls that are their own. Every call here returns the
// system's error number (0 when it worked).
#pragma once

#include <cstdint>

#include "net/host_join.h"

namespace net::detail {

// What error number `code` of a connection step means to the player;
// LinkError::other for anything else.
LinkError link_error_of(int code);

// Whether an accept that failed with `code` leaves the listening socket as
// it was (a joiner that gave up before it was taken, a signal), so that the
// wait goes on.
bool accept_goes_on(int code);

// The IPv4 address `ip`, in network byte order, if it is four decimal
// numbers 0-255 with dots between and nothing else: no blanks, no shortened
// forms, no host names.
bool parse_ipv4(const char* ip, std::uint32_t& addr);

// A new TCP socket in `serv_sock`, listening on port 8080 of every local
// address with a backlog of 5, and holding the port for the next pass too.
int listen_any(Socket& serv_sock);

// Takes one joiner from the listening `serv_sock` into `clnt_sock`.
int accept_one(const Socket& serv_sock, Socket& clnt_sock);

// Starts connecting a new socket in `sock` to port 8080 at `addr` (network
// byte order). With `wait`, the connect is done when it returns; without,
// the socket is non-blocking and kInProgress says that the connect goes on.
inline constexpr int kInProgress = -1;
int start_connect(std::uint32_t addr, bool wait, Socket& sock);

// How the connect on `sock` ended: 0 once connected, else the error number.
int connect_result(const Socket& sock);

}  // namespace net::detail
