// The hosts on the local network, listed at the join prompt: five machines
// of their own (network namespaces), three on one bridge (two hosting, one
// joining) and one more host behind a router on another subnet.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

constexpr char kEscape[] = "\x1b";

class LocalNetwork : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string s = "set -e\n";
        for (const char* n : {"br", "h1", "h2", "j", "r", "h3"}) {
            s += "ip netns add " + ns(n) + "\n";
            s += "ip netns exec " + ns(n) + " sysctl -qw net.ipv6.conf.default.accept_dad=0\n";
            s += "ip -n " + ns(n) + " link set lo up\n";
        }
        s += "ip -n " + ns("br") + " link add br0 type bridge\n";
        s += "ip -n " + ns("br") + " link set br0 up\n";
        const char* on_bridge[] = {"h1", "h2", "j", "r"};
        for (int i = 0; i < 4; ++i) {
            const std::string n = on_bridge[i];
            s += "ip link add v0 netns " + ns(n) + " type veth peer name p" + n + " netns " +
                 ns("br") + "\n";
            s += "ip -n " + ns("br") + " link set p" + n + " master br0 up\n";
            s += "ip -n " + ns(n) + " addr add 10.78.0." + std::to_string(i + 1) +
                 "/24 brd + dev v0\n";
            s += "ip -n " + ns(n) + " link set v0 up\n";
        }
        // The router's other side: a subnet of its own, with the third host.
        s += "ip link add v1 netns " + ns("r") + " type veth peer name v0 netns " + ns("h3") + "\n";
        s += "ip -n " + ns("r") + " addr add 10.79.0.1/24 brd + dev v1\n";
        s += "ip -n " + ns("r") + " link set v1 up\n";
        s += "ip -n " + ns("h3") + " addr add 10.79.0.2/24 brd + dev v0\n";
        s += "ip -n " + ns("h3") + " link set v0 up\n";
        s += "ip -n " + ns("h3") + " route add default via 10.79.0.1\n";
        s += "ip netns exec " + ns("r") + " sysctl -qw net.ipv4.ip_forward=1\n";
        ASSERT_EQ(std::system(s.c_str()), 0);
    }
    void TearDown() override {
        std::string s;
        for (const char* n : {"br", "h1", "h2", "j", "r", "h3"}) s += "ip netns del " + ns(n) + ";";
        EXPECT_EQ(std::system(s.c_str()), 0);
    }

    std::string ns(const std::string& name) const {
        return "taja-" + name + "-" + std::to_string(::getpid());
    }
    // The game on machine `name`.
    std::unique_ptr<PtyProcess> game(const std::string& name, std::vector<std::string> args = {}) {
        std::vector<std::string> all{"netns", "exec", ns(name), TAJA_DUEL_BIN};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<PtyProcess>("/usr/sbin/ip", 169, 50, home.environment(), false,
                                            all);
    }

    Home home;
};

// The rows of the prompt's list, from row 30: the address of each host.
std::vector<std::string> listed(const VtScreen& s) {
    std::vector<std::string> hosts;
    for (int y = 30; y < 46 && !s.row(y).empty(); ++y) {
        const std::string row = s.row(y).substr(82);
        hosts.push_back(row.substr(0, row.find("  (")));
    }
    return hosts;
}

TEST_F(LocalNetwork, TheHostsOnTheLinkAreListedAndOneIsJoinedAndAHostThatStopsIsForgotten) {
    std::unique_ptr<PtyProcess> first = game("h1", {"--host", "--no-port-mapping"});
    std::unique_ptr<PtyProcess> second = game("h2", {"--host", "--no-port-mapping"});
    std::unique_ptr<PtyProcess> behind_router = game("h3", {"--host", "--no-port-mapping"});
    for (PtyProcess* host : {first.get(), second.get(), behind_router.get()})
        ASSERT_TRUE(host->wait_for([](const VtScreen& s) {
            return s.row(25) == at_cell_80(kWaiting);
        })) << host->dump();

    std::unique_ptr<PtyProcess> joiner = game("j");
    PtyProcess& join = *joiner;
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }))
        << join.dump();
    join.type(kDown);
    join.type(" ");
    const std::vector<std::string> both{"10.78.0.1", "10.78.0.2"};
    const auto both_listed = [&](const VtScreen& s) {
        std::vector<std::string> hosts = listed(s);
        std::sort(hosts.begin(), hosts.end());
        return hosts == both;
    };
    ASSERT_TRUE(join.wait_for(both_listed)) << join.dump();

    // Garbage, and a datagram too long to be an announcement, change nothing.
    const std::string send = "ip netns exec " + ns("h1") +
                             " bash -c 'printf garbage > /dev/udp/10.78.0.3/48080; " +
                             "printf \"taja-duel\\001A%0600d\" 0 > /dev/udp/10.78.0.3/48080'";
    ASSERT_EQ(std::system(send.c_str()), 0);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(join.wait_for(both_listed)) << join.dump();

    // Down twice: the second host listed, and Enter joins it.
    std::string chosen;
    join.screen().with_screen([&](const VtScreen& s) { chosen = listed(s)[1]; });
    join.type(kDown);
    join.type(kDown);
    ASSERT_TRUE(join.wait_for([&](const VtScreen& s) { return prompted_with(s, chosen); }))
        << join.dump();
    join.type("\r");
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    PtyProcess& joined = chosen == "10.78.0.2" ? *second : *first;
    ASSERT_TRUE(joined.wait_for(match_running)) << joined.dump();

    // Back at the prompt (Esc twice leaves the match), a host that has
    // stopped is gone from the list within a few seconds.
    join.type(kEscape);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return s.row(45).find("Esc") != std::string::npos &&
               s.row(45).find("Enter") == std::string::npos;
    })) << join.dump();
    join.type(kEscape);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }))
        << join.dump();
    first.reset();
    join.type(kDown);
    join.type(" ");
    ASSERT_TRUE(join.wait_for(
        [](const VtScreen& s) { return listed(s) == std::vector<std::string>{"10.78.0.2"}; }, 15s))
        << join.dump();
}

}  // namespace
