// The match's inbox: everything that gives a match something to do arrives
// here, from the thread that noticed it, and the match takes it in the order
// it arrived. The peer receiver posts each event of the wire and the end of
// the connection; the typed-word reader posts each line the player enters.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "net/peer_events.h"

namespace duel {

using Clock = std::chrono::steady_clock;

// A line the player ended with Enter: CP949, without the Enter, and when its
// first key and its Enter came.
struct TypedLine {
    std::string text;
    Clock::time_point first_key;
    Clock::time_point enter;
};

using Arrival = std::variant<net::PeerEvent, TypedLine>;

// First in, first out. Posting never blocks; taking blocks until something
// has arrived. Whatever is still inside when the inbox goes is dropped with
// it: a match's inbox lives exactly as long as the match.
class Inbox {
  public:
    void post(Arrival arrival);
    Arrival take();
    // As take(), but gives up after `limit`.
    std::optional<Arrival> take_within(std::chrono::milliseconds limit);

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Arrival> queue_;
};

}  // namespace duel
