// Real connections on this machine, and the match loop's part played by a
// test: taking pending peer events, blocked on the match's wake-up.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <utility>

#include "net/socket.h"

namespace taja::test {

using namespace std::chrono_literals;

// Both ends of a connected AF_UNIX stream pair.
std::pair<net::Socket, net::Socket> socket_pair();
// Both ends of a TCP connection on 127.0.0.1 over an ephemeral port (never
// 8080), TCP_NODELAY on both. First the connecting end, then the accepted.
std::pair<net::Socket, net::Socket> tcp_pair();
// Closes a TCP socket so that the peer sees a reset rather than an end.
void close_with_reset(net::Socket& sock);
// One send of all of `bytes`, as a single write where the kernel allows.
void send_raw(int fd, std::string_view bytes);

// Fires once after its deadline unless destroyed first: sets fired() and
// signals the match's wake-up, so that a test blocked on it looks again.
class Watchdog {
  public:
    explicit Watchdog(std::chrono::milliseconds deadline);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    bool fired() const { return fired_.load(); }

  private:
    std::mutex mutex_;
    std::condition_variable cancel_;
    bool cancelled_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

// Blocks on the match's wake-up, as the match loop does, looking with `done`
// after every signal until it holds or the deadline passes. Returns whether
// it held. `done` must only become true by way of a signalled change.
bool match_until(const std::function<bool()>& done, std::chrono::milliseconds deadline = 10s);

struct Taken {
    long knocks = 0;
    long raises = 0;
    long leaves = 0;
};

// One look of the match loop: takes a pending raise, knock or leave.
// Returns whether anything was taken.
bool take_pending(Taken& taken);

}  // namespace taja::test
