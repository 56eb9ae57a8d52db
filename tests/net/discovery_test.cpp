// Hosts on one link finding each other: two namespaces joined by a veth
// pair, one hosting, the other at the join prompt.
#include "net/discovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/ip_sockets.h"

namespace {

using namespace std::chrono_literals;
using net::Clock;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Two named namespaces, "host" at 10.77.0.1 and "joiner" at 10.77.0.2, on
// one veth link that also has IPv6 link-local addresses (made at once,
// without duplicate address detection). Deleted again on every path.
class Link {
  public:
    Link()
        : host_("tjh" + std::to_string(::getpid())), joiner_("tjj" + std::to_string(::getpid())) {
        ok_ = run("ip netns add " + host_) && run("ip netns add " + joiner_);
        for (const std::string& ns : {host_, joiner_}) {
            ok_ =
                ok_ && run("ip netns exec " + ns + " sysctl -w net.ipv6.conf.default.accept_dad=0");
        }
        ok_ = ok_ &&
              run("ip link add va netns " + host_ + " type veth peer name vb netns " + joiner_) &&
              run("ip -n " + host_ + " addr add 10.77.0.1/24 brd + dev va") &&
              run("ip -n " + joiner_ + " addr add 10.77.0.2/24 brd + dev vb") &&
              run("ip -n " + host_ + " link set va up") &&
              run("ip -n " + joiner_ + " link set vb up");
    }
    ~Link() {
        run("ip netns del " + host_);
        run("ip netns del " + joiner_);
    }
    bool ok() const { return ok_; }
    // Moves the calling thread into a namespace of the link.
    bool enter_host() const { return enter(host_); }
    bool enter_joiner() const { return enter(joiner_); }

  private:
    static bool enter(const std::string& ns) {
        const int fd = ::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        const bool ok = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0) ::close(fd);
        return ok;
    }

    std::string host_;
    std::string joiner_;
    bool ok_ = false;
};

// Runs one loop over `watches`/`deadline` until `limit`, calling back.
template <typename Component, typename Stop>
void drive(Component& c, Stop stop, std::chrono::milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (!stop() && Clock::now() < end) {
        Clock::time_point wake = std::min(end, Clock::now() + 50ms);
        if (auto d = c.deadline(); d && *d < wake) wake = *d;
        std::vector<pollfd> fds;
        for (const net::Watch& w : c.watches()) fds.push_back(pollfd{w.sock, POLLIN, 0});
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, wait.count())));
        const Clock::time_point now = Clock::now();
        for (const pollfd& p : fds) {
            if (p.revents != 0) c.on_ready(p.fd, now);
        }
        if (auto d = c.deadline(); d && *d <= now) c.on_deadline(now);
    }
}

void send_raw(const std::vector<std::uint8_t>& bytes) {
    net::Socket s = net::ip::discovery_socket(net::Family::v4, 0);
    net::Endpoint to;
    to.ip.bytes = {10, 77, 0, 255};
    to.port = net::kDiscoveryPort;
    net::ip::send_datagram(s.fd(), to, bytes);
}

TEST(Discovery, AHostOnTheLinkIsListedOverBothFamiliesAndForgottenWhenItStops) {
    Link link;
    if (!link.ok()) GTEST_SKIP() << "no network namespaces with veth (not root?)";
    std::atomic<bool> hosting{true};
    std::atomic<bool> finder_ready{false};
    std::atomic<bool> garbage_sent{false};
    std::thread host([&] {
        const bool entered = link.enter_host();
        while (entered && hosting && !finder_ready) std::this_thread::sleep_for(10ms);
        if (!entered || !hosting) {
            garbage_sent = true;
            return;
        }
        // Garbage first: not ours, malformed, and a well-formed one too long.
        send_raw({'h', 'e', 'l', 'l', 'o'});
        std::vector<std::uint8_t> bad = net::encode_announcement(net::Announcement{});
        bad.pop_back();
        send_raw(bad);
        std::vector<std::uint8_t> oversized = net::encode_announcement(net::Announcement{});
        oversized.insert(oversized.end(), {99, 255});
        oversized.resize(oversized.size() + 255);
        oversized.insert(oversized.end(), {98, 255});
        oversized.resize(oversized.size() + 255);
        send_raw(oversized);
        garbage_sent = true;
        net::Announcer announcer(9090, Clock::now());
        drive(
            announcer, [&] { return !hosting; }, 20s);
    });
    // The host stops on every way out of the test.
    struct Stop {
        std::atomic<bool>& hosting;
        std::thread& host;
        ~Stop() {
            hosting = false;
            if (host.joinable()) host.join();
        }
    } stop{hosting, host};
    ASSERT_TRUE(link.enter_joiner());
    net::HostFinder finder(Clock::now());
    finder_ready = true;
    while (!garbage_sent) std::this_thread::sleep_for(10ms);
    const auto listed_both = [&] {
        return finder.hosts().size() == 1 && finder.hosts()[0].endpoints.size() == 2;
    };
    drive(finder, listed_both, 4s);
    ASSERT_EQ(finder.hosts().size(), 1u) << "garbage was taken, or the host never heard";
    const net::FoundHost found = finder.hosts()[0];
    EXPECT_EQ(found.port, 9090);
    EXPECT_EQ(found.label, net::ip::machine_name().substr(0, net::kMaxLabel));
    ASSERT_EQ(found.endpoints.size(), 2u) << "heard over one family only";
    EXPECT_EQ(net::endpoint_text(found.endpoints[0]), "10.77.0.1:9090");
    EXPECT_EQ(found.endpoints[1].ip.family, net::Family::v6);
    EXPECT_EQ(net::ip_text(found.endpoints[1].ip).rfind("fe80::", 0), 0u);
    EXPECT_NE(found.endpoints[1].ip.scope, 0u) << "a link-local address needs its interface";

    hosting = false;
    host.join();
    const Clock::time_point stopped = Clock::now();
    drive(
        finder, [&] { return finder.hosts().empty(); }, 8s);
    EXPECT_TRUE(finder.hosts().empty());
    EXPECT_LT(Clock::now() - stopped, net::kForgetAfter + 1s);
}

}  // namespace
