// The parts of the loop that every platform shares.
#include "console/console_detail.h"
#include "console/loop.h"

namespace console {

bool Turn::ready_for(int sock) const {
    for (int s : ready) {
        if (s == sock) return true;
    }
    return false;
}

void pause_until(Clock::time_point until) {
    while (!next_turn(Keys::leave, {}, until).timed_out) {
    }
}

bool input_ended() { return state().input_ended; }

std::optional<Clock::time_point> escape_deadline(bool in_escape) {
    if (!in_escape) return std::nullopt;
    return Clock::now() + kEscapePause;
}

std::optional<Clock::time_point> earliest(std::optional<Clock::time_point> a,
                                          std::optional<Clock::time_point> b) {
    if (!a) return b;
    if (!b) return a;
    return std::min(*a, *b);
}

}  // namespace console
