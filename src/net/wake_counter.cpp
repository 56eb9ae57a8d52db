#include "net/wake_counter.h"

namespace net {

std::uint32_t WakeCounter::value() const {
    std::lock_guard lock(mutex_);
    return count_;
}

void WakeCounter::bump() {
    {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    moved_.notify_all();
}

void WakeCounter::wait_past(std::uint32_t seen) {
    std::unique_lock lock(mutex_);
    moved_.wait(lock, [&] { return count_ != seen; });
}

}  // namespace net
