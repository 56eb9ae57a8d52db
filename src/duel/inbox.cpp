#include "duel/inbox.h"

namespace duel {

void Inbox::post(Arrival arrival) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(arrival));
    }
    arrived_.notify_one();
}

Arrival Inbox::take() {
    std::unique_lock lock(mutex_);
    arrived_.wait(lock, [this] { return !queue_.empty(); });
    Arrival first = std::move(queue_.front());
    queue_.pop_front();
    return first;
}

std::optional<Arrival> Inbox::take_within(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, limit, [this] { return !queue_.empty(); })) return std::nullopt;
    Arrival first = std::move(queue_.front());
    queue_.pop_front();
    return first;
}

}  // namespace duel
