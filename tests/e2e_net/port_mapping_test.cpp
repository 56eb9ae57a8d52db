// The host opening its port on a home router by itself. Each test builds a
// small internet in network namespaces of its own: a home router that
// masquerades its LAN, drops what comes unasked from outside, and runs
// Debian's miniupnpd (UPnP-IGD, NAT-PMP and PCP); the host behind it; a
// joiner outside. The outside link has an address miniupnpd takes for a
// public one, so that it maps without a STUN server; nothing leaves the
// test's namespaces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/home_router.h"
#include "support/pty_process.h"

namespace {

using namespace std::chrono_literals;
using taja::test::HomeNetwork;
using taja::test::PtyProcess;
using taja::test::RouterSetup;
using taja::test::VtScreen;

// Row 26 from cell 80: what the host says of its router.
bool router_line_says(PtyProcess& p, const std::string& utf8, taja::test::Deadline deadline = 15s) {
    return p.wait_for([&](const VtScreen& s) { return s.row(26).find(utf8) != std::string::npos; },
                      deadline);
}

bool board_shown(PtyProcess& p) {
    return p.wait_for([](const VtScreen& s) {
        for (int y = 0; y < 50; ++y) {
            if (s.row(y).find("점수") != std::string::npos) return true;
        }
        return false;
    });
}

bool holds_mapping(const HomeNetwork& net) {
    return net.forwardings().find("8080") != std::string::npos;
}

// The host opens its port by `method`, says so with the router's outside
// address, a joiner outside connects to that address and a match starts;
// once the host has gone by SIGTERM the router holds no mapping.
void opens_and_gives_back(const RouterSetup& setup, const std::string& method) {
    HomeNetwork net(setup);
    if (!net.ok()) GTEST_SKIP() << "no namespaces, iptables-legacy or miniupnpd here";
    auto host = net.start(true, {"--host"});
    ASSERT_TRUE(router_line_says(
        *host, "인터넷: 20.0.0.1:8080 (라우터에 " + method + "로 포트를 열었습니다)"))
        << host->dump();
    EXPECT_TRUE(holds_mapping(net)) << net.forwardings();
    auto joiner = net.start(false, {"--join", "20.0.0.1"});
    EXPECT_TRUE(board_shown(*joiner)) << joiner->dump();
    EXPECT_TRUE(board_shown(*host)) << host->dump();
    ::kill(host->pid(), SIGTERM);
    ASSERT_TRUE(host->wait_exit());
    EXPECT_FALSE(holds_mapping(net)) << net.forwardings();
}

TEST(PortMapping, PcpOpensThePortAFriendOutsidePlaysThroughItAndItClosesOnSigterm) {
    opens_and_gives_back(RouterSetup{}, "PCP");
}

TEST(PortMapping, NatPmpOpensThePortWhenPcpGoesUnanswered) {
    RouterSetup setup;
    setup.upnp = false;
    setup.drop_pcp = true;
    opens_and_gives_back(setup, "NAT-PMP");
}

TEST(PortMapping, UpnpOpensThePortWhenTheRouterSpeaksNothingElse) {
    RouterSetup setup;
    setup.natpmp = false;
    opens_and_gives_back(setup, "UPnP");
}

// With IPv6 on both links, PCP also opens a pinhole in the router's IPv6
// firewall for the host's global address: a friend outside joins by that
// address, and after SIGTERM the router holds the pinhole no more.
TEST(PortMapping, PcpOpensAnIpv6PinholeAFriendOutsideJoinsThroughIt) {
    RouterSetup setup;
    setup.ipv6 = true;
    HomeNetwork net(setup);
    if (!net.ok()) GTEST_SKIP() << "no namespaces, iptables-legacy or miniupnpd here";
    auto host = net.start(true, {"--host"});
    ASSERT_TRUE(router_line_says(*host, "(라우터에 PCP로 포트를 열었습니다) IPv6도 열었습니다."))
        << host->dump();
    EXPECT_NE(net.pinholes().find("2001:db8:77::2"), std::string::npos) << net.pinholes();
    auto joiner = net.start(false, {"--join", "[2001:db8:77::2]:8080"});
    EXPECT_TRUE(board_shown(*joiner)) << joiner->dump();
    EXPECT_TRUE(board_shown(*host)) << host->dump();
    ::kill(host->pid(), SIGTERM);
    ASSERT_TRUE(host->wait_exit());
    EXPECT_EQ(net.pinholes().find("2001:db8:77::2"), std::string::npos) << net.pinholes();
}

// A router with port mapping off, and one behind a carrier's NAT: the host
// says plainly that the port is not open, and goes on waiting for a joiner
// on its own network; --no-port-mapping asks nothing at all.
TEST(PortMapping, TheHostSaysPlainlyWhenThePortCouldNotBeOpened) {
    {
        RouterSetup off;
        off.natpmp = false;
        off.upnp = false;
        HomeNetwork net(off);
        if (!net.ok()) GTEST_SKIP() << "no namespaces, iptables-legacy or miniupnpd here";
        auto host = net.start(true, {"--host"});
        EXPECT_TRUE(router_line_says(*host, "인터넷: 라우터가 답하지 않습니다. 포트 8080을", 10s))
            << host->dump();
        EXPECT_TRUE(host->wait_text(80, 25, "연결을 기다리는 중입니다.."));
    }
    {
        RouterSetup shared;
        shared.wan = "100.64.0.1";
        shared.outside = "100.64.0.2";
        HomeNetwork net(shared);
        ASSERT_TRUE(net.ok());
        auto host = net.start(true, {"--host"});
        EXPECT_TRUE(router_line_says(*host, "인터넷: 라우터가 포트 열기를 거절했습니다.", 10s))
            << host->dump();
        EXPECT_FALSE(holds_mapping(net)) << net.forwardings();

        auto quiet = net.start(true, {"--host", "--port", "9090", "--no-port-mapping"});
        EXPECT_TRUE(quiet->wait_text(80, 25, "연결을 기다리는 중입니다.."));
        EXPECT_FALSE(router_line_says(*quiet, "인터넷", 2s)) << quiet->dump();
    }
}

}  // namespace
