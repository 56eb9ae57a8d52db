// Figures for a link that goes dark, printed, never judged. Each run is a
// network namespace of its own (root and iptables-legacy needed) holding two
// connections on its loopback, made as the program makes a match's (Nagle
// off, the program's keepalive and send limit): on one, a byte is sent just
// as every packet starts being dropped (a word in flight); the other only
// listens. After the outage each side sends one byte; a connection that
// carries it both ways lost nothing. For each outage it prints, per
// connection, whether it lived, or after how long each side found it ended.
#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Pair {
    net::Socket a;  // the connecting end
    net::Socket b;  // the accepted end
};

bool private_network() {
    if (::unshare(CLONE_NEWNET) != 0) return false;
    net::Socket any(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    lo.ifr_flags = IFF_UP;
    return ::ioctl(any.fd(), SIOCSIFFLAGS, &lo) == 0;
}

Pair connected_pair() {
    net::Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ::bind(listener.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener.fd(), 1);
    ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&addr), &len);
    Pair p;
    p.a = net::Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ::connect(p.a.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    p.b = net::Socket(::accept(listener.fd(), nullptr, nullptr));
    for (int fd : {p.a.fd(), p.b.fd()}) {
        net::set_nodelay(fd);
        net::set_keepalive(fd);
    }
    return p;
}

// Every packet on the loopback dropped, or let through again. False if
// iptables-legacy failed.
bool drop(bool on) {
    return std::system(on ? "iptables-legacy -w -A INPUT -i lo -j DROP"
                          : "iptables-legacy -w -D INPUT -i lo -j DROP") == 0;
}

// One end of a connection: when it found the connection ended, if it did,
// and how many bytes it read.
struct End {
    int fd;
    std::optional<double> ended;
    int got = 0;
};

void watch(std::vector<End>& ends, Clock::time_point start, Clock::time_point until) {
    while (Clock::now() < until) {
        std::vector<pollfd> fds;
        for (End& e : ends) fds.push_back({e.fd, static_cast<short>(e.ended ? 0 : POLLIN), 0});
        ::poll(fds.data(), fds.size(), 100);
        for (std::size_t i = 0; i < ends.size(); ++i) {
            if (ends[i].ended || fds[i].revents == 0) continue;
            char buf[64];
            const long n = net::receive_bytes(ends[i].fd, buf, sizeof buf);
            if (n > 0) {
                ends[i].got += static_cast<int>(n);
            } else if (n != net::kWouldBlock) {
                ends[i].ended = std::chrono::duration<double>(Clock::now() - start).count();
            }
        }
    }
}

void run(std::chrono::seconds outage) {
    if (!private_network()) {
        std::printf("outage %2lld s: no network namespace (needs root)\n",
                    static_cast<long long>(outage.count()));
        return;
    }
    Pair sending = connected_pair();
    Pair idle = connected_pair();
    for (int fd : {sending.a.fd(), sending.b.fd(), idle.a.fd(), idle.b.fd()})
        net::set_nonblocking(fd);
    if (!drop(true)) {
        std::printf("outage %2lld s: iptables-legacy failed\n",
                    static_cast<long long>(outage.count()));
        return;
    }
    const auto start = Clock::now();
    net::send_bytes(sending.a.fd(), "u", 1);
    std::vector<End> ends{{sending.a.fd(), {}, 0},
                          {sending.b.fd(), {}, 0},
                          {idle.a.fd(), {}, 0},
                          {idle.b.fd(), {}, 0}};
    watch(ends, start, start + outage);
    if (!drop(false))
        std::printf("outage %2lld s: the drop stays\n", static_cast<long long>(outage.count()));
    for (End& e : ends) {
        if (!e.ended) net::send_bytes(e.fd, "c", 1);
    }
    watch(ends, start, start + std::max<Clock::duration>(outage + 15s, 45s));
    auto say = [](const char* what, const End& a, const End& b, int a_expects, int b_expects) {
        std::string line = std::string(what) + ": ";
        if (!a.ended && !b.ended && a.got == a_expects && b.got == b_expects) {
            line += "lived, nothing lost";
        } else {
            char buf[96];
            std::snprintf(buf, sizeof buf, "ended (sender side %s s, other side %s s)",
                          a.ended ? std::to_string(*a.ended).substr(0, 4).c_str() : "-",
                          b.ended ? std::to_string(*b.ended).substr(0, 4).c_str() : "-");
            line += buf;
        }
        return line;
    };
    std::printf("outage %2lld s: %s; %s\n", static_cast<long long>(outage.count()),
                say("word in flight", ends[0], ends[1], 1, 2).c_str(),
                say("idle", ends[2], ends[3], 1, 1).c_str());
}

}  // namespace

int main() {
    if (::geteuid() != 0) {
        std::printf("outage: needs root (network namespaces, iptables-legacy)\n");
        return 0;
    }
    std::vector<std::thread> runs;
    for (auto outage : {10s, 15s, 20s, 30s}) runs.emplace_back([outage] { run(outage); });
    for (std::thread& t : runs) t.join();
}
