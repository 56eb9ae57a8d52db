// The match loop's one wake-up. The match blocks here instead of polling on
// a timer; whoever gives it something to do (the peer receiver after every
// delivered event, the typed-word reader after every word) signals it.
//
// Use: note the count, look for work, and if there was none wait for the
// count to move on from the noted value. A signal that comes between the
// look and the wait has already moved the count, so the wait returns at once
// and nothing is missed.
#pragma once

#include <cstdint>

namespace net {

void signal_match();
std::uint32_t match_signal_count();
// Blocks until the count differs from `seen`, without using the CPU.
void wait_match_signal(std::uint32_t seen);

}  // namespace net
