// The match's end of the connection, driven by the program's loop: it never
// waits. The loop waits on watch(); the link reads what has come when the
// socket is ready, and sends what the socket could not take at once when
// there is room again.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/loop.h"
#include "net/peer_events.h"

namespace net {

// The most events one read of the link may bring. A player sends one event
// a word, so even a long outage leaves a few dozen in flight; more at once
// is a peer that breaks the rules, and the link ends on it.
inline constexpr std::size_t kMaxEventsAtOnce = 256;

class PeerLink {
  public:
    // `sock` is a connected socket, the caller's, which must stay open as
    // long as the link; or -1 for a connection that failed, which counts as
    // ended at once. Makes the socket non-blocking.
    explicit PeerLink(int sock);
    PeerLink(const PeerLink&) = delete;
    PeerLink& operator=(const PeerLink&) = delete;

    // What the loop waits on for this link; only while it has not ended.
    console::Watch watch() const;
    bool ended() const { return ended_; }
    // The link ended because the peer sent more than kMaxEventsAtOnce
    // events at once.
    bool flooded() const { return flooded_; }
    // Some byte, event or not, has come from the peer.
    bool heard() const { return heard_; }

    // Sends one event byte. What the socket cannot take now goes out, in
    // order, when the loop finds room (flush). A send that fails loses the
    // byte and changes nothing else: the end shows on the reading side.
    void send(char event);
    void flush();

    // Reads what has come, a bounded amount each call, and appends its
    // events, in wire order: at most kMaxEventsAtOnce. The end of the
    // connection appends `left`, once, and so does a peer that sends more
    // events than that at once (flooded); nothing is read after it.
    void receive(std::vector<PeerEvent>& events);

    // Reads what has come, a bounded amount each call, only to find the end
    // of the connection: every byte is dropped as it is read.
    void discard();

    // Ends the connection in both directions: nothing more goes either way,
    // and the peer reads the end.
    void shut();

  private:
    // One read of what has come into `buf`: its size, or 0 once the
    // connection has ended (then ended_ is set), or -1 when nothing is there.
    long read_some(char* buf, std::size_t n);
    void end();

    int sock_;
    bool ended_ = false;
    bool flooded_ = false;
    bool heard_ = false;
    std::string outbox_;  // events the socket could not take yet
};

}  // namespace net
