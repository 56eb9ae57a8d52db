// Figures for the peer link, printed, never judged:
//  - the time from send_event on one side to take_event on the other over
//    loopback TCP (TCP_NODELAY), one event in flight at a time;
//  - the CPU time a receiver uses while it waits for a full flag to be taken,
//    and the match loop while it waits on its wake-up: both should be close
//    to nothing.
#include "net/peer_events.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "console/console.h"
#include "net/peer_link.h"
#include "net/wakeup.h"
#include "support/peer_harness.h"

namespace {

using Clock = std::chrono::steady_clock;

double micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Blocks on the match's wake-up until an event of either kind is taken.
void take_one() {
    for (;;) {
        std::uint32_t seen = net::match_signal_count();
        if (net::take_event(net::raise_flag) || net::take_event(net::knock_flag)) return;
        net::wait_match_signal(seen);
    }
}

void send_to_take_latency() {
    constexpr int kWarmUp = 1'000;
    constexpr int kEvents = 20'000;
    auto [near, far] = taja::test::tcp_pair();
    net::PeerReceiver receiver(far.fd());

    std::vector<Clock::time_point> sent(kEvents + kWarmUp);
    std::vector<Clock::time_point> taken(kEvents + kWarmUp);
    std::atomic<std::uint32_t> takes{0};
    std::thread match([&] {
        for (std::size_t i = 0; i < taken.size(); ++i) {
            take_one();
            taken[i] = Clock::now();
            takes.fetch_add(1);
            takes.notify_one();
        }
    });
    for (std::uint32_t i = 0; i < sent.size(); ++i) {
        sent[i] = Clock::now();
        net::send_event(near.fd(), i % 2 ? net::kKnockEvent : net::kRaiseEvent);
        takes.wait(i);  // one event in flight at a time
    }
    match.join();

    std::vector<double> us;
    for (std::size_t i = kWarmUp; i < sent.size(); ++i) us.push_back(micros(taken[i] - sent[i]));
    std::sort(us.begin(), us.end());
    std::printf(
        "send -> take over loopback TCP, %d events: median %.1f us, p99 %.1f us, max %.1f us\n",
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
    std::atomic<bool> stopping{false};
    std::thread receiver([&, fd = far.fd()] { net::receive_events(fd, stopping); });

    // The second knock must wait: nobody takes the first during the window.
    taja::test::send_raw(near.fd(), "cc");
    for (;;) {
        std::uint32_t seen = net::match_signal_count();
        if (net::knock_flag.load() == 1) break;
        net::wait_match_signal(seen);
    }
    std::atomic<bool> released{false};
    std::thread match([&] {
        for (;;) {
            std::uint32_t seen = net::match_signal_count();
            if (released.load()) return;
            net::wait_match_signal(seen);
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

    released.store(true);
    net::signal_match();
    match.join();
    net::stop_receiver(stopping);
    net::shutdown_connection(far.fd());
    receiver.join();
    net::take_event(net::knock_flag);

    std::printf(
        "CPU over %lld s: receiver waiting on a full flag %.1f us, "
        "match waiting on its wake-up %.1f us\n",
        static_cast<long long>(kWindow.count()), receiver_used, match_used);
}

}  // namespace

int main() {
    // The receiver places the cursor after every read; keep that off the
    // figures.
    int devnull = ::open("/dev/null", O_WRONLY);
    console::open_console(0, devnull);
    send_to_take_latency();
    idle_cpu();
    ::close(devnull);
}
