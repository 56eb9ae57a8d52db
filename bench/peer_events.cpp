// Figures for the peer link, printed, never judged:
//  - the time from send_event on one side to the event taken from the
//    match's inbox on the other, over loopback TCP (TCP_NODELAY), one event
//    in flight at a time;
//  - the CPU time a receiver blocked in its read and a match waiting on its
//    empty inbox use: both should be close to nothing.
#include "net/peer_events.h"

#include "net/socket.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "duel/inbox.h"
#include "net/peer_link.h"
#include "support/peer_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

void send_to_take_latency() {
    constexpr int kWarmUp = 1'000;
    constexpr int kEvents = 20'000;
    auto [near, far] = taja::test::tcp_pair();
    duel::Inbox inbox;
    net::PeerReceiver receiver(far.fd(), [&inbox](net::PeerEvent e) { inbox.post(e); });

    std::vector<double> us;
    for (int i = 0; i < kEvents + kWarmUp; ++i) {
        auto sent = Clock::now();
        net::send_event(near.fd(), i % 2 ? net::kKnockEvent : net::kRaiseEvent);
        inbox.take();
        if (i >= kWarmUp) us.push_back(micros(Clock::now() - sent));
    }
    std::sort(us.begin(), us.end());
    std::printf(
        "send -> inbox take over loopback TCP, %d events: median %.1f us, p99 %.1f us, max %.1f "
        "us\n",
        kEvents, us[us.size() / 2], us[us.size() * 99 / 100], us.back());
}

double thread_cpu_us(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

void idle_cpu() {
    constexpr auto kWindow = std::chrono::seconds(3);
    auto [near, far] = taja::test::socket_pair();
    duel::Inbox inbox;
    std::atomic<bool> stopping{false};
    std::thread receiver([&, fd = far.fd()] {
        net::receive_events(fd, [&inbox](net::PeerEvent e) { inbox.post(e); }, stopping);
    });
    std::thread match([&] {
        while (!std::holds_alternative<duel::TypedLine>(inbox.take())) {
        }
    });

    // Each thread's own CPU clock, read from here at both ends of the window.
    clockid_t receiver_clock;
    clockid_t match_clock;
    pthread_getcpuclockid(receiver.native_handle(), &receiver_clock);
    pthread_getcpuclockid(match.native_handle(), &match_clock);
    double receiver_before = thread_cpu_us(receiver_clock);
    double match_before = thread_cpu_us(match_clock);
    std::this_thread::sleep_for(kWindow);
    double receiver_used = thread_cpu_us(receiver_clock) - receiver_before;
    double match_used = thread_cpu_us(match_clock) - match_before;

    inbox.post(duel::TypedLine{});
    match.join();
    stopping.store(true);
    net::shutdown_connection(far.fd());
    receiver.join();

    std::printf(
        "CPU over %lld s: receiver blocked in its read %.1f us, match waiting on its inbox %.1f "
        "us\n",
        static_cast<long long>(kWindow.count()), receiver_used, match_used);
}

}  // namespace

int main() {
    send_to_take_latency();
    idle_cpu();
}
