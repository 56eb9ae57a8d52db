#include "support/home_router.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace taja::test {

namespace {

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

}  // namespace

HomeNetwork::HomeNetwork(const RouterSetup& setup)
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
    // From outside, only what answers the inside is forwarded, and what
    // miniupnpd lets through (its script hooks its chain in first).
    const auto forward_answers_only = [&](const std::string& tables, const std::string& script) {
        return run(r + tables +
                   " -A FORWARD -i wan -m conntrack --ctstate ESTABLISHED,RELATED -j ACCEPT") &&
               run(r + "env PATH=" + dir_ + "/bin:$PATH sh /etc/miniupnpd/" + script + " -i wan") &&
               run(r + tables + " -A FORWARD -i wan -j DROP");
    };
    ok_ = ok_ &&
          run("ip link add lan netns " + router_ + " type veth peer name eth0 netns " + host_) &&
          run("ip link add wan netns " + router_ + " type veth peer name eth0 netns " + outside_) &&
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
          forward_answers_only("iptables-legacy", "iptables_init.sh");
    if (setup.ipv6) {
        ok_ = ok_ && run("ln -sf /usr/sbin/ip6tables-legacy " + dir_ + "/bin/ip6tables") &&
              run(r + "sysctl -qw net.ipv6.conf.all.forwarding=1") &&
              run("ip -n " + router_ + " addr add 2001:db8:77::1/64 dev lan nodad") &&
              run("ip -n " + router_ + " addr add 2001:db8:20::1/64 dev wan nodad") &&
              run("ip -n " + host_ + " addr add 2001:db8:77::2/64 dev eth0 nodad") &&
              run("ip -n " + host_ + " -6 route add default via 2001:db8:77::1") &&
              run("ip -n " + outside_ + " addr add 2001:db8:20::2/64 dev eth0 nodad") &&
              run("ip -n " + outside_ + " -6 route add 2001:db8:77::/64 via 2001:db8:20::1") &&
              forward_answers_only("ip6tables-legacy", "ip6tables_init.sh");
    }
    // The first byte of a UDP payload to port 5351 is the version: 2 is PCP.
    if (setup.drop_pcp) {
        ok_ = ok_ && run(ipt +
                         "-I INPUT -i lan -p udp --dport 5351 -m u32 --u32 "
                         "\"0>>22&0x3C@8>>24=2\" -j DROP");
    }
    const std::string conf = dir_ + "/miniupnpd.conf";
    if (FILE* f = std::fopen(conf.c_str(), "w")) {
        std::fprintf(f,
                     "ext_ifname=wan\next_ifname6=wan\nlistening_ip=lan\nenable_natpmp=%s\n"
                     "enable_upnp=%s\n"
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

HomeNetwork::~HomeNetwork() {
    if (daemon_ > 0) {
        ::kill(daemon_, SIGTERM);
        ::waitpid(daemon_, nullptr, 0);
    }
    for (const std::string& ns : {host_, router_, outside_}) run("ip netns del " + ns);
    run("rm -rf " + dir_);
}

std::unique_ptr<PtyProcess> HomeNetwork::start(bool in_home, std::vector<std::string> args,
                                               const std::string& program,
                                               std::map<std::string, std::string> env) const {
    std::vector<std::string> all = {"netns", "exec", in_home ? host_ : outside_, program,
                                    "--no-history"};
    all.insert(all.end(), args.begin(), args.end());
    return std::make_unique<PtyProcess>("/usr/sbin/ip", 169, 50, std::move(env), false, all);
}

std::string HomeNetwork::forwardings() const {
    return output_of("ip netns exec " + router_ + " iptables-legacy -t nat -S MINIUPNPD 2>&1");
}

std::string HomeNetwork::pinholes() const {
    return output_of("ip netns exec " + router_ + " ip6tables-legacy -S MINIUPNPD 2>&1");
}

bool HomeNetwork::wait_for_daemon(const RouterSetup& setup) {
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

}  // namespace taja::test
