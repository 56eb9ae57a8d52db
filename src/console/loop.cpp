// The parts of the loop that every platform shares.
#include <algorithm>
#include <utility>
#include <vector>

#include "console/console_detail.h"
#include "console/loop.h"

namespace console {

namespace {

// The work to do before the end, newest last; the loop's thread only.
std::vector<const std::function<void()>*>& before_end_work() {
    static std::vector<const std::function<void()>*> work;
    return work;
}

}  // namespace

BeforeEnd::BeforeEnd(std::function<void()> work) : work_(std::move(work)) {
    before_end_work().push_back(&work_);
}

BeforeEnd::~BeforeEnd() { std::erase(before_end_work(), &work_); }

void run_before_end() {
    // Newest first, as destructors would run; each is taken off before it
    // runs, so that none runs twice.
    auto& work = before_end_work();
    while (!work.empty()) {
        const std::function<void()>* w = work.back();
        work.pop_back();
        (*w)();
    }
}

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
