#include "net/peer_events.h"

#include <array>

#include "console/console.h"
#include "net/socket.h"
#include "net/wake_counter.h"
#include "net/wakeup.h"

namespace net {

std::atomic<std::uint8_t> knock_flag{0};
std::atomic<std::uint8_t> raise_flag{0};
std::atomic<std::uint8_t> leave_flag{0};

namespace {

// Counts every take and every stop request. A receiver waiting for a full
// flag waits on this counter rather than on the flag: a stop request leaves
// the flag at 1, and a wait on the flag itself would only return once the
// flag changed.
WakeCounter takes;

void wake_receivers() { takes.bump(); }

bool nothing_pending() {
    return knock_flag.load() == 0 && raise_flag.load() == 0 && leave_flag.load() == 0;
}

// Turns `flag` from 0 into 1 once no event at all is pending, so that the
// match applies events one at a time in the order they arrived. False if the
// receiver was stopped first; the event is then dropped.
//
// Only this receiver sets flags, so none can fill up between the look and
// the store. The counter is read before the stop request and the flags are
// looked at: a take or a stop that comes after those looks moves the counter
// past the value read, so the wait returns at once instead of missing it.
bool deliver(std::atomic<std::uint8_t>& flag, const std::atomic<bool>& stopping) {
    for (;;) {
        std::uint32_t seen = takes.value();
        if (stopping.load()) return false;
        if (nothing_pending()) {
            flag.store(1);
            signal_match();
            return true;
        }
        takes.wait_past(seen);
    }
}

std::atomic<std::uint8_t>* flag_for(char byte) {
    if (byte == kKnockEvent) return &knock_flag;
    if (byte == kRaiseEvent) return &raise_flag;
    return nullptr;
}

}  // namespace

void send_event(int sock, char event) { send_bytes(sock, &event, 1); }

void receive_events(int sock, const std::atomic<bool>& stopping) {
    for (;;) {
        std::array<char, 100> data{};
        long n = receive_bytes(sock, data.data(), data.size());
        if (stopping.load()) return;
        if (n <= 0) {
            // The peer closed, reset or half-closed the connection, or it
            // failed: the rival has left, after the events already here.
            deliver(leave_flag, stopping);
            return;
        }
        console::set_cursor(0, 0);
        for (long i = 0; i < n; ++i) {
            std::atomic<std::uint8_t>* flag = flag_for(data[static_cast<std::size_t>(i)]);
            if (flag != nullptr && !deliver(*flag, stopping)) return;
        }
    }
}

void stop_receiver(std::atomic<bool>& stopping) {
    stopping.store(true);
    wake_receivers();
}

void clear_events() {
    knock_flag.store(0);
    raise_flag.store(0);
    leave_flag.store(0);
    wake_receivers();
}

bool take_event(std::atomic<std::uint8_t>& flag) {
    if (flag.exchange(0) == 0) return false;
    wake_receivers();
    return true;
}

}  // namespace net
