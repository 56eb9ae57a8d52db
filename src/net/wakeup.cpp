#include "net/wakeup.h"

#include "net/wake_counter.h"

namespace net {

namespace {

WakeCounter match_signals;

}  // namespace

void signal_match() { match_signals.bump(); }

std::uint32_t match_signal_count() { return match_signals.value(); }

void wait_match_signal(std::uint32_t seen) { match_signals.wait_past(seen); }

}  // namespace net
