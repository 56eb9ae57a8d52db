// A counter that threads wait on until it moves past a value they noted:
// how the match loop and the peer receivers wait for one another without
// polling.
//
// Use: note value(), look for work, and if there was none wait_past() the
// noted value. A bump that comes between the look and the wait has already
// moved the count, so the wait returns at once and nothing is missed.
//
// A mutex and a condition variable rather than std::atomic's wait and
// notify: where there is no futex (Windows), libstdc++ 12 compares the value
// outside the lock its waiter then sleeps under, so a notify that falls
// between the two is lost and the waiter sleeps on with work pending.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace net {

class WakeCounter {
  public:
    std::uint32_t value() const;
    // Counts one up and wakes every waiter.
    void bump();
    // Blocks until the count differs from `seen`.
    void wait_past(std::uint32_t seen);

  private:
    mutable std::mutex mutex_;
    std::condition_variable moved_;
    // Wrapping around is harmless: waiters only ask whether it has changed.
    std::uint32_t count_ = 0;
};

}  // namespace net
