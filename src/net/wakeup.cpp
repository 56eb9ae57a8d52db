#include "net/wakeup.h"

#include <atomic>

namespace net {

namespace {

// Only ever counts up; wrapping around is harmless, since waiters only ask
// whether it has changed.
std::atomic<std::uint32_t> match_signals{0};

}  // namespace

void signal_match() {
    match_signals.fetch_add(1);
    match_signals.notify_all();
}

std::uint32_t match_signal_count() { return match_signals.load(); }

void wait_match_signal(std::uint32_t seen) { match_signals.wait(seen); }

}  // namespace net
