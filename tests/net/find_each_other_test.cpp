// Finding each other over real sockets, each test in network namespaces of
// its own: the connector past a dead address, IPv6 loopback and the
// dual-stack listener, the reasons a connect fails, the host's own
// addresses, names from a hosts file, and hosts on one link finding each
// other. The components are driven by a small poll loop, as the program's
// event loop drives them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/connector.h"
#include "net/discovery.h"
#include "net/listener.h"
#include "net/resolver.h"
#include "support/endpoints.h"
#include "support/net_namespace.h"

namespace {

using namespace std::chrono_literals;
using net::Clock;

// What the loop drives: a component's watches, deadline and calls.
struct Part {
    std::function<std::vector<net::Watch>()> watches;
    std::function<std::optional<Clock::time_point>()> deadline;
    std::function<void(int, Clock::time_point)> ready;
    std::function<void(Clock::time_point)> due;
};

// Polls the parts' sockets until their earliest deadline, calls what is
// ready or due, and stops once `until` holds or `limit` has passed.
bool drive(const std::vector<Part>& parts, const std::function<bool()>& until,
           std::chrono::milliseconds limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (!until()) {
        Clock::time_point wake = end;
        std::vector<pollfd> fds;
        std::vector<std::size_t> owner;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (auto d = parts[i].deadline(); d && *d < wake) wake = *d;
            for (const net::Watch& w : parts[i].watches()) {
                const short events =
                    static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0));
                fds.push_back(pollfd{w.sock, events, 0});
                owner.push_back(i);
            }
        }
        if (Clock::now() >= end) return false;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, wait.count())));
        const Clock::time_point now = Clock::now();
        for (std::size_t k = 0; k < fds.size(); ++k) {
            if (fds[k].revents != 0) parts[owner[k]].ready(fds[k].fd, now);
        }
        for (const Part& p : parts) {
            if (auto d = p.deadline(); d && *d <= now) p.due(now);
        }
    }
    return true;
}

Part part_of(net::Connector& c) {
    return {[&c] { return c.watches(); }, [&c] { return c.deadline(); },
            [&c](int s, Clock::time_point now) { c.on_ready(s, now); },
            [&c](Clock::time_point now) { c.on_deadline(now); }};
}

using taja::test::endpoint;

// Connects to `endpoints` as the program would; the failure when it fails.
struct Outcome {
    net::Socket sock;
    net::ConnectFailure failure;
    net::Endpoint to;
    std::chrono::milliseconds took{};
};

Outcome connect(std::vector<net::Endpoint> endpoints, std::chrono::milliseconds limit = 3s) {
    const Clock::time_point start = Clock::now();
    net::Connector c(std::move(endpoints), start);
    EXPECT_TRUE(drive(
        {part_of(c)}, [&c] { return c.done(); }, limit))
        << "the connect never ended";
    Outcome out;
    out.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    out.sock = c.take_socket();
    if (out.sock.fd() >= 0) out.to = c.connected_to();
    out.failure = c.failure();
    return out;
}

// Runs `body` on a thread of its own in a new network namespace (loopback
// up), so that the commands it runs work there too; skips where the
// machine allows none.
void in_new_network(const std::function<void()>& body) {
    bool entered = false;
    std::thread([&] {
        const int ns = taja::test::enter_new_network();
        if (ns < 0) return;
        ::close(ns);
        entered = true;
        body();
    }).join();
    if (!entered) GTEST_SKIP() << "no network namespace (not root?)";
}

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(Connector, ADeadIpv6AddressCostsAQuarterSecondThenIpv4Connects) {
    in_new_network([] {
        // An address of this machine whose packets are dropped: its connects
        // never hear back.
        ASSERT_TRUE(run("ip addr add fd00:dead::1/128 dev lo nodad"));
        ASSERT_TRUE(run("ip6tables-legacy -A INPUT -d fd00:dead::1 -j DROP"));
        net::Listening host = net::listen_for_joiners(9090);
        ASSERT_TRUE(host.ok()) << host.code;
        Outcome o = connect({endpoint("127.0.0.1", 9090), endpoint("fd00:dead::1", 9090)});
        ASSERT_GE(o.sock.fd(), 0) << static_cast<int>(o.failure.error) << " " << o.failure.code;
        EXPECT_EQ(o.to, endpoint("127.0.0.1", 9090));
        // The dead one was tried first, and held the turn for its stagger.
        EXPECT_GE(o.took, net::kConnectStagger - 10ms);
        EXPECT_LT(o.took, 1500ms);
        net::Socket joiner;
        int code = 0;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(net::accept_joiner(host.sock.fd(), joiner, code), net::AcceptResult::joined);
        const char hello = 'h';
        EXPECT_EQ(net::send_bytes(o.sock.fd(), &hello, 1), 1);
        char got = 0;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(net::receive_bytes(joiner.fd(), &got, 1), 1);
        EXPECT_EQ(got, 'h');
    });
}

TEST(Connector, TheListenerTakesIpv6AndIpv4AndAFailedConnectSaysWhy) {
    in_new_network([] {
        net::Listening host = net::listen_for_joiners(9090);
        ASSERT_TRUE(host.ok()) << host.code;
        EXPECT_EQ(net::listen_for_joiners(9090).error, net::ListenError::port_in_use);
        for (const char* ip : {"::1", "127.0.0.1"}) {
            Outcome o = connect({endpoint(ip, 9090)});
            EXPECT_GE(o.sock.fd(), 0) << ip;
            EXPECT_LT(o.took, 500ms);
        }
        net::Socket joiner;
        int code = 0;
        EXPECT_EQ(net::accept_joiner(host.sock.fd(), joiner, code), net::AcceptResult::joined);
        EXPECT_EQ(net::accept_joiner(host.sock.fd(), joiner, code), net::AcceptResult::joined);
        EXPECT_EQ(net::accept_joiner(host.sock.fd(), joiner, code), net::AcceptResult::again);

        EXPECT_EQ(connect({endpoint("127.0.0.1", 9091)}).failure.error, net::ConnectError::refused);
        // Only loopback here: no route to a global IPv6 address.
        EXPECT_EQ(connect({endpoint("2001:db8::1", 9090)}).failure.error,
                  net::ConnectError::no_ipv6_route);
        // A refusal says more than a missing route, whatever the order.
        EXPECT_EQ(connect({endpoint("2001:db8::1", 9090), endpoint("::1", 9091)}).failure.error,
                  net::ConnectError::refused);
    });
}

TEST(Listener, TheHostsOwnAddressesAreThoseAFriendCanType) {
    in_new_network([] {
        EXPECT_TRUE(net::own_address_texts(8080).empty()) << "loopback alone";
        ASSERT_TRUE(run("ip link add tj0 type veth peer name tj1"));
        ASSERT_TRUE(run("ip addr add 10.20.30.40/24 dev tj0"));
        ASSERT_TRUE(run("ip addr add fd12:3456::7/64 dev tj0 nodad"));
        ASSERT_TRUE(run("ip link set tj0 up"));
        // The link-local address tj0 gets is left out.
        EXPECT_EQ(net::own_address_texts(8080),
                  (std::vector<std::string>{"10.20.30.40", "fd12:3456::7"}));
        EXPECT_EQ(net::own_address_texts(9090),
                  (std::vector<std::string>{"10.20.30.40:9090", "[fd12:3456::7]:9090"}));
    });
}

net::Resolved resolve(const char* host, std::uint16_t port) {
    net::Resolver r(net::HostPort{host, port});
    const net::Watch w = r.watch();
    pollfd p{w.sock, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 5000), 1) << host;
    EXPECT_TRUE(r.done());
    return r.result();
}

TEST(Resolver, NamesResolveFromTheHostsFileAndASlowLookupIsDroppedAtOnce) {
    // A child of its own, in network and mount namespaces of its own, where
    // the hosts file, the name server and the name service switch are ours.
    const pid_t child = ::fork();
    if (child == 0) {
        char dir[] = "/tmp/taja-hosts-XXXXXX";
        if (::mkdtemp(dir) == nullptr) ::_exit(77);
        const int ns = taja::test::enter_new_network();
        if (ns < 0 || ::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            ::rmdir(dir);
            ::_exit(77);
        }
        const std::string d(dir);
        std::ofstream(d + "/hosts") << "127.0.0.1 localhost\n10.1.2.3 friend.example\n"
                                       "fd00::7 friend.example\n";
        std::ofstream(d + "/nsswitch.conf") << "hosts: files dns\n";
        // A name server that never answers.
        std::ofstream(d + "/resolv.conf") << "nameserver 10.9.9.9\noptions timeout:5 attempts:1\n";
        bool ready = run("ip addr add 10.9.9.1/24 dev lo") &&
                     run("iptables-legacy -A INPUT -p udp --dport 53 -j DROP");
        for (const char* f : {"hosts", "nsswitch.conf", "resolv.conf"}) {
            const std::string mine = d + "/" + f;
            const std::string theirs = std::string("/etc/") + f;
            ready = ready && ::mount(mine.c_str(), theirs.c_str(), nullptr, MS_BIND, nullptr) == 0;
        }
        int failures = 0;
        if (ready) {
            const auto friend_ = resolve("friend.example", 9090);
            const auto* found = std::get_if<std::vector<net::Endpoint>>(&friend_);
            failures += found == nullptr || found->size() != 2;
            if (found != nullptr) {
                for (const char* ip : {"10.1.2.3", "fd00::7"}) {
                    failures +=
                        std::find(found->begin(), found->end(), endpoint(ip, 9090)) == found->end();
                }
            }
            const auto local = resolve("localhost", 8080);
            const auto* l = std::get_if<std::vector<net::Endpoint>>(&local);
            failures += l == nullptr ||
                        std::find(l->begin(), l->end(), endpoint("127.0.0.1", 8080)) == l->end();
            // The name server's silence: still waiting after a while, and
            // given up on without a wait.
            auto slow = std::make_unique<net::Resolver>(net::HostPort{"slow.example", 8080});
            pollfd p{slow->watch().sock, POLLIN, 0};
            failures += ::poll(&p, 1, 300) != 0 || slow->done();
            const Clock::time_point start = Clock::now();
            slow.reset();
            failures += Clock::now() - start > 50ms;
        }
        for (const char* f : {"hosts", "nsswitch.conf", "resolv.conf"}) {
            ::umount((std::string("/etc/") + f).c_str());
            std::remove((d + "/" + f).c_str());
        }
        ::rmdir(dir);
        ::_exit(!ready ? 77 : failures == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no network or mount namespace (not root?)";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a name resolved wrong, or a slow lookup held on";
}

}  // namespace
