// A connection within this process, for a rival that plays from a thread of
// the program itself over the same one-byte wire as a rival on another
// machine: both ends of a local stream, and waiting on one end with a time
// limit.
#pragma once

#include <chrono>

#include "net/socket.h"

namespace net {

// Both ends of a connected local stream. On POSIX a socket pair; on Windows,
// which has none, a TCP connection on 127.0.0.1 over a port the system
// picks, taken only from our own connecting socket. `code` is the system's
// error number when there is none (the ends are then empty).
struct LocalPair {
    Socket one;
    Socket other;
    int code = 0;

    bool ok() const { return code == 0; }
};

LocalPair local_pair();

enum class Readable {
    yes,      // something to read, or the end of the connection
    timeout,  // nothing came within the limit
    failed,   // the wait itself failed
};

// Waits until `fd` has something to read, the connection ends, or `limit`
// has passed, without using the CPU. A signal does not end the wait early.
Readable wait_readable(int fd, std::chrono::milliseconds limit);

}  // namespace net
