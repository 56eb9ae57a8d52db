// The receiver of one connection, on a thread of its own for as long as the
// connection serves a match.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/peer_events.h"

namespace net {

// Starts receive_events on `sock` at once, posting through `post`. Stopping
// it (stop(), or going out of scope) shuts the connection down in both
// directions, which wakes the receiver in its read, and joins it, so a mode
// that plays match after match leaks no thread. Bytes it had not yet read go
// with the connection.
//
// The socket is the caller's and must stay open until the receiver has
// stopped: declare the socket's owner before the PeerReceiver, and whatever
// `post` reaches too.
class PeerReceiver {
  public:
    PeerReceiver(int sock, PostEvent post);
    ~PeerReceiver();
    PeerReceiver(const PeerReceiver&) = delete;
    PeerReceiver& operator=(const PeerReceiver&) = delete;

    // Waits up to `limit` for the peer to end the connection (the receiver
    // then ends by itself), and stops it either way. A side that lets the
    // peer close first leaves no TIME_WAIT on its own port. True if the peer
    // closed within the limit.
    bool stop_after_peer_closes(std::chrono::milliseconds limit);
    void stop();

  private:
    int sock_;
    PostEvent post_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable ended_changed_;
    bool ended_ = false;  // the receiver has returned by itself
    std::thread thread_;
};

}  // namespace net
