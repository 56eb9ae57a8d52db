// Hosting on a port of the player's choice, and joining it by name and by
// IPv6 address: the host's screen names the addresses a friend can type.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/duel_game.h"

namespace {

using namespace taja::test;

// A link of the test's own in its network namespace, with an IPv4 and an
// IPv6 address a friend could reach.
class SharedLink : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(std::system("ip link add taja-a type veth peer name taja-b && "
                              "ip addr add 10.9.8.7/24 dev taja-a && "
                              "ip -6 addr add 2001:db8::7/64 dev taja-a nodad && "
                              "ip link set taja-a up && ip link set taja-b up"),
                  0);
    }
    void TearDown() override { EXPECT_EQ(std::system("ip link del taja-a"), 0); }

    Home home;
};

TEST_F(SharedLink, AHostOnItsOwnPortNamesItsAddressesAndIsJoinedByNameByIpv6AndFromTheList) {
    Game host(home, std::vector<std::string>{"--host", "--port", "9090"});
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.row(25) == at_cell_80(kWaiting) &&
               s.row(29) == at_cell_80("친구가 입력할 이 컴퓨터의 주소:") &&
               s.row(30) == at_cell_80("  10.9.8.7:9090") &&
               s.row(31) == at_cell_80("  [2001:db8::7]:9090") && s.row(32).empty();
    })) << host.dump();

    for (const char* address : {"localhost:9090", "[::1]:9090"}) {
        {
            Game join(home, std::vector<std::string>{"--join", address});
            ASSERT_TRUE(join.wait_for(match_running)) << address << "\n" << join.dump();
            ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
        }
        // The joiner has gone; after its result the host waits again.
        ASSERT_TRUE(host.wait_for(
            [](const VtScreen& s) { return s.row(25) == at_cell_80(kWaiting); }, kMatchEnd))
            << host.dump();
    }

    // A joiner at its prompt hears the host on the link, and Down and Enter
    // join it.
    Game join(home);
    join.join();
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return s.row(29) ==
                   at_cell_80("같은 네트워크에서 기다리는 서버 (위/아래 화살표로 고르기):") &&
               s.row(30).rfind(at_cell_80("  "), 0) == 0 &&
               s.row(30).find(":9090  (") != std::string::npos && s.row(31).empty();
    })) << join.dump();
    // Heard from the link's IPv6 group, or its IPv4 broadcast: a link-local
    // address carries its zone, so that it can be joined.
    const std::string heard = join.look(
        [](const VtScreen& s) { return s.row(30).substr(82, s.row(30).find("  (") - 82); });
    join.type(kDown);
    ASSERT_TRUE(join.wait_for([&](const VtScreen& s) {
        return prompted_with(s, heard) && s.row(30).rfind(at_cell_80("> "), 0) == 0;
    })) << join.dump();
    join.type("\r");
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
}

}  // namespace

// A friend's machine of its own, reached over a link that has IPv6 alone,
// knowing the host by a name from its hosts file.
class Ipv6OnlyFriend : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string script =
            "ip netns add " + ns_ + " && mkdir -p /etc/netns/" + ns_ + " && echo '2001:db8:6::1 " +
            "friend-host.test' > /etc/netns/" + ns_ + "/hosts && " +
            "ip link add taja-v6a type veth peer name taja-v6b netns " + ns_ + " && " +
            "ip -6 addr add 2001:db8:6::1/64 dev taja-v6a nodad && ip link set taja-v6a up && " +
            "ip -n " + ns_ + " -6 addr add 2001:db8:6::2/64 dev taja-v6b nodad && " + "ip -n " +
            ns_ + " link set taja-v6b up && ip -n " + ns_ + " link set lo up";
        ASSERT_EQ(std::system(script.c_str()), 0);
    }
    void TearDown() override {
        EXPECT_EQ(std::system(("ip netns del " + ns_ +
                               "; ip link del taja-v6a 2>/dev/null; rm -r "
                               "/etc/netns/" +
                               ns_)
                                  .c_str()),
                  0);
    }

    const std::string ns_ = "taja-friend-" + std::to_string(::getpid());
    Home home;
};

TEST_F(Ipv6OnlyFriend, JoinsByANameFromItsHostsFileOverIpv6Alone) {
    Game host(home, std::vector<std::string>{"--host"});
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.row(25) == at_cell_80(kWaiting) && s.row(30) == at_cell_80("  2001:db8:6::1");
    })) << host.dump();
    PtyProcess join("/usr/sbin/ip", 169, 50, home.environment(), false,
                    {"netns", "exec", ns_, TAJA_DUEL_BIN, "--join", "friend-host.test"});
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
}
