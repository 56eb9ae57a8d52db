#include "support/net_namespace.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace taja::test {

namespace {

using Clock = std::chrono::steady_clock;

bool loopback_up() {
    int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    ::close(s);
    return ok;
}

sockaddr_in loopback_8080() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(8080);
    return addr;
}

// One direction of a relayed connection: what `from` sends reaches `to`
// `delay` later. Ends when `from` has ended and all of it has gone on, or
// the relay stops.
void pump(int from, int to, std::chrono::milliseconds delay, int stop_fd) {
    struct Held {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Held> held;
    bool ended = false;
    while (!ended || !held.empty()) {
        int timeout = -1;
        if (!held.empty()) {
            auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(held.front().due - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, wait.count()));
        }
        pollfd fds[2] = {{stop_fd, POLLIN, 0}, {ended ? -1 : from, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) continue;
        if (fds[0].revents != 0) return;
        if (fds[1].revents != 0) {
            char buf[512];
            ssize_t n = ::read(from, buf, sizeof buf);
            if (n > 0) {
                held.push_back(
                    {Clock::now() + delay, std::string(buf, static_cast<std::size_t>(n))});
            } else {
                ended = true;
                held.push_back({Clock::now() + delay, {}});  // the end, in its place
            }
        }
        while (!held.empty() && held.front().due <= Clock::now()) {
            if (held.front().bytes.empty()) {
                ::shutdown(to, SHUT_WR);
            } else {
                (void)::send(to, held.front().bytes.data(), held.front().bytes.size(),
                             MSG_NOSIGNAL);
            }
            held.pop_front();
        }
    }
}

}  // namespace

int enter_new_network() {
    if (::unshare(CLONE_NEWNET) != 0 || !loopback_up()) return -1;
    return ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
}

struct DelayRelay::State {
    int listener = -1;
    int stop_pipe[2] = {-1, -1};
    std::vector<int> sockets;
    std::vector<std::thread> pumps;
    std::thread acceptor;
};

DelayRelay::DelayRelay(int upstream_ns, std::chrono::milliseconds delay)
    : state_(std::make_unique<State>()) {
    State& st = *state_;
    // Without its stop pipe the relay could never be stopped.
    if (::pipe2(st.stop_pipe, O_CLOEXEC) != 0) std::abort();
    st.listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(st.listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in addr = loopback_8080();
    ::bind(st.listener, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    ::listen(st.listener, 5);
    st.acceptor = std::thread([&st, upstream_ns, delay] {
        // This thread dials into the host's network; the listener stays in
        // the one it was made in.
        ::setns(upstream_ns, CLONE_NEWNET);
        for (;;) {
            pollfd fds[2] = {{st.stop_pipe[0], POLLIN, 0}, {st.listener, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[0].revents != 0) return;
            int down = ::accept4(st.listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (down < 0) continue;
            int up = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in host = loopback_8080();
            if (::connect(up, reinterpret_cast<const sockaddr*>(&host), sizeof host) != 0) {
                ::close(up);
                ::close(down);
                continue;
            }
            const int nodelay = 1;
            ::setsockopt(up, IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);
            ::setsockopt(down, IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);
            st.sockets.push_back(down);
            st.sockets.push_back(up);
            st.pumps.emplace_back(pump, down, up, delay, st.stop_pipe[0]);
            st.pumps.emplace_back(pump, up, down, delay, st.stop_pipe[0]);
        }
    });
}

DelayRelay::~DelayRelay() {
    State& st = *state_;
    // An empty pipe takes the byte; it is the only one ever written.
    if (::write(st.stop_pipe[1], "x", 1) != 1) std::abort();
    st.acceptor.join();
    for (std::thread& t : st.pumps) t.join();
    for (int fd : st.sockets) ::close(fd);
    ::close(st.listener);
    ::close(st.stop_pipe[0]);
    ::close(st.stop_pipe[1]);
}

}  // namespace taja::test
