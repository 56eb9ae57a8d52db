// The few socket calls the peer link makes, behind one small interface so
// that only the platform files of the peer link (socket_posix.cpp,
// host_join_posix.cpp and their Windows twins) see the platform's headers. Sockets are plain descriptors; results are reported, and the
// callers decide what, if anything, a failure changes.
#pragma once

#include <cstddef>

namespace net {

// Owns one socket descriptor and closes it when it goes out of scope, so a
// mode that makes a new connection every pass leaks none. Move-only.
class Socket {
  public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept : fd_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    int fd() const { return fd_; }
    // Gives up ownership without closing; the socket is the caller's again.
    int release();

  private:
    // The platform's close (close, closesocket).
    static void close(int fd);

    int fd_ = -1;
};

// Turns Nagle's algorithm off on a connected TCP socket. Every event is one
// byte sent on its own; with Nagle on, a second quick byte waits for the
// first one's acknowledgement, which the peer may delay by about 40 ms.
void set_nodelay(int fd);

// Lets a connected TCP socket notice a peer that has vanished (power, Wi-Fi
// or cable gone: no FIN, no RST) within about 28 seconds, so that the match
// takes it for a leave. The kernel sends the probes and the peer's kernel
// answers them, so a rival who only thinks is never taken for gone, and a
// link that stalls for less than about twenty seconds loses nothing.
void set_keepalive(int fd);

// Ends the connection in both directions. A thread blocked reading the
// socket wakes, its read returning 0 or -1, and the peer reads the end.
void shutdown_connection(int fd);

// Sends and reads on a non-blocking socket return this when they would
// have had to wait.
inline constexpr long kWouldBlock = -2;

// Makes the socket's sends and reads return at once (kWouldBlock) where they
// would wait: for a socket that the program's loop waits on.
void set_nonblocking(int fd);

// One send of `n` bytes. A peer that has gone does not raise SIGPIPE; the
// send just fails. Interrupted sends are repeated. Returns what the send
// returned: bytes sent, -1, or kWouldBlock.
long send_bytes(int fd, const char* bytes, std::size_t n);

// One read of up to `n` bytes, blocking until something arrives unless the
// socket is non-blocking. Returns the number of bytes read, 0 when the peer
// has closed the connection (or it was shut down), -1 on an error,
// kWouldBlock. An interrupted read is repeated: a signal is not the end of
// the connection.
long receive_bytes(int fd, char* buf, std::size_t n);

// Like receive_bytes, but leaves what it returns waiting to be read.
long peek_bytes(int fd, char* buf, std::size_t n);

}  // namespace net
