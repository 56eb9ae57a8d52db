// The match's end of the connection, driven by the program's loop: it never
// waits. The loop waits on watch(); the link reads what has come when the
// socket is ready, and sends what the socket could not take at once when
// there is room again.
#pragma once

#include <string>
#include <vector>

#include "console/loop.h"
#include "net/peer_events.h"

namespace net {

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

    // Sends one event byte. What the socket cannot take now goes out, in
    // order, when the loop finds room (flush). A send that fails loses the
    // byte and changes nothing else: the end shows on the reading side.
    void send(char event);
    void flush();

    // Reads everything that has come and appends its events, in wire order.
    // The end of the connection appends `left`, once; nothing is read after
    // it.
    void receive(std::vector<PeerEvent>& events);

    // Ends the connection in both directions: nothing more goes either way,
    // and the peer reads the end.
    void shut();

  private:
    int sock_;
    bool ended_ = false;
    std::string outbox_;  // events the socket could not take yet
};

}  // namespace net
