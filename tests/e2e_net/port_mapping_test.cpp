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

#include "support/pty_process.h"

namespace {

using namespace std::chrono_literals;
using taja::test::PtyProcess;
using taja::test::VtScreen;

bool run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string output_of(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
        ::pclose(p);
    }
    return out;
}

struct RouterSetup {
    bool natpmp = true;  // NAT-PMP and PCP
    bool upnp = true;
    bool drop_pcp = false;  // PCP requests dropped: NAT-PMP alone answers
    // The router's outside address and the outside namespace's: a shared
    // (carrier-grade) one makes miniupnpd refuse every mapping.
    std::string wan = "20.0.0.1";
    std::string outside = "20.0.0.2";
};

// The three namespaces and the router's daemon, taken down on every path.
class HomeNetwork {
  public:
    explicit HomeNetwork(const RouterSetup& setup)
        : id_(std::to_string(::getpid())),
          host_("tph" + id_),
          router_("tpr" + id_),
          outside_("tpo" + id_),
          dir_("/tmp/taja-router-" + id_) {
        if (!run("command -v miniupnpd") || !run("command -v iptables-legacy")) return;
        ok_ = run("mkdir -p " + dir_ + "/bin") &&
              run("ln -sf /usr/sbin/iptables-legacy " + dir_ + "/bin/iptables");
        for (const std::string& ns : {host_, router_, outside_}) {
            ok_ = ok_ && run("ip netns add " + ns) && run("ip -n " + ns + " link set lo up");
        }
        const std::string r = "ip netns exec " + router_ + " ";
        const std::string ipt = r + "iptables-legacy ";
        ok_ =
            ok_ &&
            run("ip link add lan netns " + router_ + " type veth peer name eth0 netns " + host_) &&
            run("ip link add wan netns " + router_ + " type veth peer name eth0 netns " +
                outside_) &&
            run("ip -n " + router_ + " addr add 192.168.77.1/24 dev lan") &&
            run("ip -n " + router_ + " link set lan up") &&
            run("ip -n " + host_ + " addr add 192.168.77.2/24 dev eth0") &&
            run("ip -n " + host_ + " link set eth0 up") &&
            run("ip -n " + host_ + " route add default via 192.168.77.1") &&
            run("ip -n " + router_ + " addr add " + setup.wan + "/24 dev wan") &&
            run("ip -n " + router_ + " link set wan up") &&
            run("ip -n " + outside_ + " addr add " + setup.outside + "/24 dev eth0") &&
            run("ip -n " + outside_ + " link set eth0 up") &&
            run(r + "sysctl -qw net.ipv4.ip_forward=1") &&
            run("ip -n " + router_ + " route add default via " + setup.outside) &&
            run(ipt + "-t nat -A POSTROUTING -o wan -j MASQUERADE") &&
            run(ipt + "-A INPUT -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT") &&
            run(ipt + "-A INPUT -i wan -j DROP") &&
            run(ipt + "-A FORWARD -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT") &&
            run(r + "env PATH=" + dir_ + "/bin:$PATH sh /etc/miniupnpd/iptables_init.sh -i wan") &&
            run(ipt + "-A FORWARD -i wan -j DROP");
        // The first byte of a UDP payload to port 5351 is the version: 2 is PCP.
        if (setup.drop_pcp) {
            ok_ = ok_ && run(ipt +
                             "-I INPUT -i lan -p udp --dport 5351 -m u32 --u32 "
                             "\"0>>22&0x3C@8>>24=2\" -j DROP");
        }
        const std::string conf = dir_ + "/miniupnpd.conf";
        if (FILE* f = std::fopen(conf.c_str(), "w")) {
            std::fprintf(f,
                         "ext_ifname=wan\nlistening_ip=lan\nenable_natpmp=%s\nenable_upnp=%s\n"
                         "secure_mode=yes\nsystem_uptime=yes\n"
                         "uuid=3d3cec3a-8cf0-11e0-98ee-001a6bd2d077\n"
                         "allow 1024-65535 192.168.77.0/24 1024-65535\n"
                         "deny 0-65535 0.0.0.0/0 0-65535\n",
                         setup.natpmp ? "yes" : "no", setup.upnp ? "yes" : "no");
            std::fclose(f);
        } else {
            ok_ = false;
        }
        // With both off, miniupnpd does not run at all: a router with port
        // mapping turned off answers nothing on it.
        if (!ok_ || (!setup.natpmp && !setup.upnp)) return;
        daemon_ = ::fork();
        if (daemon_ == 0) {
            ::setenv("PATH", (dir_ + "/bin:/usr/sbin:/usr/bin:/sbin:/bin").c_str(), 1);
            const int log =
                ::open((dir_ + "/miniupnpd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(log, 2);
            ::dup2(log, 1);
            ::execlp("ip", "ip", "netns", "exec", router_.c_str(), "miniupnpd", "-f", conf.c_str(),
                     "-d", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ok_ = daemon_ > 0 && wait_for_daemon(setup);
    }

    ~HomeNetwork() {
        if (daemon_ > 0) {
            ::kill(daemon_, SIGTERM);
            ::waitpid(daemon_, nullptr, 0);
        }
        for (const std::string& ns : {host_, router_, outside_}) run("ip netns del " + ns);
        run("rm -rf " + dir_);
    }

    bool ok() const { return ok_; }

    // The program in a pseudo-terminal, in the host's or the outside
    // namespace (ip netns exec runs it in its own process).
    std::unique_ptr<PtyProcess> start(bool in_home, std::vector<std::string> args) const {
        std::vector<std::string> all = {"netns", "exec", in_home ? host_ : outside_, TAJA_DUEL_BIN,
                                        "--no-history"};
        all.insert(all.end(), args.begin(), args.end());
        return std::make_unique<PtyProcess>("/usr/sbin/ip", 169, 50,
                                            std::map<std::string, std::string>{}, false, all);
    }

    // The router's port forwardings (its NAT table's MINIUPNPD chain).
    std::string forwardings() const {
        return output_of("ip netns exec " + router_ + " iptables-legacy -t nat -S MINIUPNPD 2>&1");
    }

  private:
    // Until it has started, with its NAT-PMP/PCP socket and its HTTP port
    // listening where they are on.
    bool wait_for_daemon(const RouterSetup& setup) {
        for (int i = 0; i < 100; ++i) {
            const std::string log = output_of("cat " + dir_ + "/miniupnpd.log");
            const auto has = [&](const char* what) { return log.find(what) != std::string::npos; };
            if (has("starting") && (!setup.natpmp || has("Listening for NAT-PMP")) &&
                (!setup.upnp || has("HTTP listening")))
                return true;
            ::usleep(50 * 1000);
        }
        return false;
    }

    std::string id_, host_, router_, outside_, dir_;
    pid_t daemon_ = -1;
    bool ok_ = false;
};

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
