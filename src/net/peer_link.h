// The receiver of one connection, on a thread of its own for as long as the
// connection serves a match.
#pragma once

#include <atomic>
#include <thread>

namespace net {

// Starts receive_events on `sock` at once. Stopping it (stop(), or going out
// of scope) shuts the connection down in both directions, wakes the receiver
// wherever it waits (in its read, or for a pending event to be taken) and
// joins it, so a mode that plays match after match leaks no thread. Events
// it had not yet delivered go with the connection; those already delivered
// stay pending until clear_events drops them.
//
// The socket is the caller's and must stay open until the receiver has
// stopped: declare the socket's owner before the PeerReceiver.
class PeerReceiver {
  public:
    explicit PeerReceiver(int sock);
    ~PeerReceiver();
    PeerReceiver(const PeerReceiver&) = delete;
    PeerReceiver& operator=(const PeerReceiver&) = delete;

    void stop();

  private:
    int sock_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace net
