// For the Winsock files only: starting the library, and sockets as the ints
// the peer link passes around.
#pragma once

namespace net {

// WSAStartup, version 2.2, the first time; nothing after that.
void start_winsock();

// A SOCKET as an int: -1 for INVALID_SOCKET.
int socket_fd(unsigned long long s);

}  // namespace net
