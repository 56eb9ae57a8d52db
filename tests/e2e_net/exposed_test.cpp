// A host whose port anybody can reach, each test in a network of its own:
// port scans, other programs and floods show nothing on the host's screen,
// keep no joiner out, and cost its memory nothing that lasts or grows.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "support/duel_game.h"
#include "support/net_namespace.h"
#include "support/peer_harness.h"

namespace {

using namespace taja::test;
using Clock = std::chrono::steady_clock;

// The resident memory of process `pid`, in kB.
long resident_kb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long kb = -1;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> kb;
            break;
        }
    }
    return kb;
}

// A connect to 127.0.0.1:8080 that may fail: the socket, or none.
net::Socket try_connect() {
    net::Socket sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in addr = loopback_8080();
    if (::connect(sock.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        return net::Socket();
    return sock;
}

// How much a flood may grow the host's resident memory, in KB: a few MB.
// AddressSanitizer's shadow memory and its quarantine of freed blocks take
// more for the same work.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kFloodGrowthKb = 16 * 1024;
#else
constexpr long kFloodGrowthKb = 4 * 1024;
#endif

// Sends `byte` as fast as the host takes it until the host ends the
// connection, `stop` is set, or 10 s pass, watching the host's resident
// memory meanwhile. Returns how far it rose above `base`, in kB.
long flood(int fd, char byte, pid_t host, long base, const std::atomic<bool>& stop = false) {
    const std::string block(64 * 1024, byte);
    long peak = base;
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done.load()) {
            peak = std::max(peak, resident_kb(host));
            std::this_thread::sleep_for(20ms);
        }
    });
    const auto until = Clock::now() + 10s;
    timeval tv{0, 200'000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    while (!stop.load() && Clock::now() < until) {
        const ssize_t n = ::send(fd, block.data(), block.size(), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    }
    done.store(true);
    watcher.join();
    return peak - base;
}

class Exposed : public ::testing::Test {
  protected:
    void SetUp() override {
        net_ = enter_new_network();
        if (net_ < 0) GTEST_SKIP() << "no network namespace of our own (not root?)";
        host_.emplace(home_, true);
        host_->host();
        ASSERT_TRUE(host_->wait_for(waiting)) << host_->dump();
    }
    void TearDown() override {
        host_.reset();
        if (net_ >= 0) ::close(net_);
    }
    int writes() { return host_->proc().screen().reads(); }
    // A joiner of today: it greets first, and the host greets back.
    net::Socket greeting_joiner() {
        net::Socket peer = try_connect();
        EXPECT_GE(peer.fd(), 0);
        send_raw(peer.fd(), "h");
        EXPECT_EQ(read_byte(peer.fd()), 'h');
        EXPECT_TRUE(host_->wait_for(match_running)) << host_->dump();
        return peer;
    }

    Home home_;
    int net_ = -1;
    std::optional<Game> host_;
};

TEST_F(Exposed, APortScanAndAnotherProgramShowNothingAndTheHostKeepsWaiting) {
    const int mark = writes();
    { net::Socket scan = try_connect(); }
    net::Socket other = try_connect();
    ASSERT_GE(other.fd(), 0);
    send_raw(other.fd(), std::string("GET / HTTP/1.0\r\n\r\n\x16\x03\x01\0", 22));
    // Nothing but bytes that are no events: the host hangs up on it.
    EXPECT_EQ(read_byte(other.fd(), 5s), std::nullopt);
    char byte;
    EXPECT_EQ(::recv(other.fd(), &byte, 1, MSG_DONTWAIT), 0) << "closed by the host";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(writes(), mark) << host_->dump();
    EXPECT_TRUE(host_->wait_for(waiting)) << host_->dump();

    // A joiner too old to greet still plays: its silence starts the match.
    net::Socket old_joiner = try_connect();
    ASSERT_TRUE(host_->wait_for(match_running)) << host_->dump();
    send_raw(old_joiner.fd(), "u");
    EXPECT_TRUE(host_->wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host_->dump();
}

TEST_F(Exposed, AJoinerGetsInAtOnceAfterAStormOfConnectsAndASecondOneIsRefused) {
    const int mark = writes();
    const auto storm_end = Clock::now() + 3s;
    int storm = 0;
    while (Clock::now() < storm_end) {
        net::Socket scan = try_connect();
        storm += scan.fd() >= 0;
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_GT(storm, 10) << "the storm reached the host";
    const auto stopped = Clock::now();
    net::Socket joiner;
    while (joiner.fd() < 0 && Clock::now() - stopped < 5s) joiner = try_connect();
    EXPECT_LT(Clock::now() - stopped, 1s) << "kept out after the storm";
    EXPECT_EQ(writes(), mark) << "the storm drew nothing";
    send_raw(joiner.fd(), "h");
    EXPECT_EQ(read_byte(joiner.fd()), 'h');
    ASSERT_TRUE(host_->wait_for(match_running)) << host_->dump();
    // While the match runs, nobody else waits in a queue for the port.
    EXPECT_LT(try_connect().fd(), 0);
    EXPECT_EQ(errno, ECONNREFUSED);
}

TEST_F(Exposed, FloodsDuringAndAfterAMatchLeaveTheHostsMemoryAsItWas) {
    {
        // The rival's twelfth block ends the match; the flood comes after.
        net::Socket peer = greeting_joiner();
        send_raw(peer.fd(), std::string(9, 'u'));
        ASSERT_TRUE(host_->wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   LOSE!");
        })) << host_->dump();
        const long base = resident_kb(host_->proc().pid());
        EXPECT_LT(flood(peer.fd(), 'u', host_->proc().pid(), base), kFloodGrowthKb);
    }
    ASSERT_TRUE(host_->wait_for(waiting, kMatchEnd)) << host_->dump();

    // Greetings by the megabyte into a host whose terminal reads nothing:
    // no player sends that much at once; the match ends as a leave (the
    // board says why), and the host waits for the next joiner.
    net::Socket peer = greeting_joiner();
    host_->proc().screen().pause();
    const long base = resident_kb(host_->proc().pid());
    EXPECT_LT(flood(peer.fd(), 'h', host_->proc().pid(), base), kFloodGrowthKb);
    host_->proc().screen().resume();
    EXPECT_TRUE(host_->wait_for(waiting, kMatchEnd)) << host_->dump();
}

}  // namespace
