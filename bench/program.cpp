// Figures for the real program, printed, never judged:
//  - the instructions a key costs taja-duel, counted by callgrind over a
//    stretch of typed keys less an idle stretch as long;
//  - how soon a key's echo, and the grown rival tower after a peer's raise
//    byte, reach the terminal, beside a minimal raw-mode program measured in
//    the same run, sample for sample in turn.
// The programs are driven only through their terminal (a pty of 169 x 50)
// and a raw peer on loopback, in a network namespace of the bench's own
// where the machine allows it. With no audio device, as an empty ALSA
// configuration gives: music costs by the second, not by the key.
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "support/duel_game.h"
#include "support/net_namespace.h"
#include "support/peer_harness.h"
#include "support/vt_screen.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using taja::test::VtScreen;

constexpr int kSamples = 200;
constexpr int kCountedKeys = 100;
// What the figures were before the program drew from one loop.
constexpr char kKeyCostBefore[] = "634,000";
constexpr char kEchoRatioBefore[] = "1.35-1.5x";
constexpr char kRaiseRatioBefore[] = "1.6-1.85x";
// A key and the key that takes it back: the field never fills.
constexpr char kKeys[2] = {'r', '\x7f'};
// The program's writes for one key or one event come within this of the
// first of them.
constexpr auto kSettle = 15ms;

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// --- The minimal raw-mode program -------------------------------------------

// The terminal in raw mode, one poll on it and on the socket, and for each
// byte one write: a key's echo at the field, a fixed block for a byte from
// the socket. Runs until either side ends.
int raw_echo(int sock) {
    termios saved;
    if (::tcgetattr(0, &saved) != 0) return 1;
    termios raw = saved;
    ::cfmakeraw(&raw);
    ::tcsetattr(0, TCSANOW, &raw);
    write_all(1, "\x1b[2J\x1b[1;1Hraw echo");
    pollfd fds[2] = {{0, POLLIN, 0}, {sock, POLLIN, 0}};
    char buf[256];
    for (bool going = true; going;) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) {
            const ssize_t n = ::read(0, buf, sizeof buf);
            going = n > 0;
            for (ssize_t i = 0; i < n; ++i) {
                const char shown = buf[i] >= 0x20 && buf[i] < 0x7f ? buf[i] : ' ';
                write_all(1, std::string("\x1b[49;85H") + shown);
            }
        }
        if (fds[1].revents != 0) {
            const ssize_t n = ::recv(sock, buf, sizeof buf, 0);
            going = going && n > 0;
            for (ssize_t i = 0; i < n; ++i) write_all(1, "\x1b[33;113H(######)");
        }
    }
    ::tcsetattr(0, TCSANOW, &saved);
    return 0;
}

// --- A program in a pseudo-terminal, read without a go-between ---------------

class Terminal {
  public:
    Terminal(std::vector<std::string> args, const std::map<std::string, std::string>& env) {
        std::vector<std::string> entries;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (env.count(entry.substr(0, entry.find('='))) == 0) entries.push_back(entry);
        }
        for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& entry : entries) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        winsize ws{};
        ws.ws_col = static_cast<unsigned short>(screen_.cols());
        ws.ws_row = static_cast<unsigned short>(screen_.rows());
        pid_ = ::forkpty(&master_, nullptr, nullptr, &ws);
        if (pid_ < 0) std::abort();
        if (pid_ == 0) {
            ::execvpe(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    }
    ~Terminal() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        ::close(master_);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    pid_t pid() const { return pid_; }
    const VtScreen& screen() const { return screen_; }
    void type(std::string_view bytes) { write_all(master_, bytes); }

    // Reads until `done` holds on the screen; false if it did not within
    // `wait` or the program ended.
    bool wait_for(const std::function<bool(const VtScreen&)>& done, Clock::duration wait = 10s) {
        const Clock::time_point end = Clock::now() + wait;
        while (!done(screen_)) {
            if (Clock::now() >= end || !read_until(end)) return false;
        }
        return true;
    }
    // When the first bytes of the program's next write came (nothing if
    // none came within `wait`); whatever follows within kSettle of the last
    // bytes is read too.
    std::optional<Clock::time_point> next_write(Clock::duration wait = 2s) {
        if (!read_until(Clock::now() + wait)) return std::nullopt;
        const Clock::time_point first = Clock::now();
        drain();
        return first;
    }
    // Reads until nothing has come for kSettle.
    void drain() {
        while (read_until(Clock::now() + kSettle)) {
        }
    }

  private:
    // One read, fed to the screen; false if nothing came by `end`.
    bool read_until(Clock::time_point end) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0) return false;
        char buf[1 << 16];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) return false;
        screen_.feed(std::string_view(buf, static_cast<std::size_t>(n)));
        return true;
    }

    pid_t pid_ = -1;
    int master_ = -1;
    VtScreen screen_;
};

// taja-duel hosting, run under `args` (valgrind and its options, or none),
// and a raw peer connected to it, the board standing. Nothing if it did not
// come to the board within `wait`.
struct Hosted {
    std::unique_ptr<Terminal> term;
    net::Socket peer;
};

std::optional<Hosted> host_a_match(std::vector<std::string> args,
                                   const std::map<std::string, std::string>& env,
                                   Clock::duration wait) {
    Hosted h;
    args.push_back(TAJA_DUEL_BIN);
    args.push_back("--host");
    h.term = std::make_unique<Terminal>(std::move(args), env);
    if (!h.term->wait_for(taja::test::waiting, wait)) return std::nullopt;
    const sockaddr_in addr = taja::test::loopback_8080();
    const Clock::time_point end = Clock::now() + wait;
    for (;;) {
        h.peer = net::Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(h.peer.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
            break;
        if (Clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(20ms);
    }
    net::set_nodelay(h.peer.fd());
    if (!h.term->wait_for(taja::test::match_running, wait)) return std::nullopt;
    h.term->drain();
    return h;
}

// --- Instructions per key ------------------------------------------------------

bool on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        if (::access((dirs.substr(start, end - start) + "/" + name).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// callgrind_control's `what` (-z: zero the counts, -d: dump them) on `pid`.
bool callgrind_control(const char* what, pid_t pid) {
    const std::string command =
        "callgrind_control " + std::string(what) + " " + std::to_string(pid) + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// The instructions counted since the last zeroing: a dump, read from the
// newest dump file in `dir`. -1 if there is none.
long dumped_instructions(pid_t pid, const std::filesystem::path& dir) {
    if (!callgrind_control("-d", pid)) return -1;
    std::filesystem::path newest;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (newest.empty() || entry.last_write_time() > std::filesystem::last_write_time(newest))
            newest = entry.path();
    }
    if (newest.empty()) return -1;
    std::ifstream in(newest);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("summary:", 0) == 0 || line.rfind("totals:", 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

std::string grouped(long n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return (n < 0 ? "-" : "") + digits;
}

void instructions_per_key(const std::map<std::string, std::string>& env) {
    std::printf("== instructions per key: callgrind, taja-duel --host, %d keys\n", kCountedKeys);
    std::printf("   before: %s instructions per key\n", kKeyCostBefore);
    if (!on_path("valgrind") || !on_path("callgrind_control")) {
        std::printf("   now:    not measured: valgrind is not installed\n");
        return;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("taja-bench-callgrind-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    long counted = -1;
    long idle = -1;
    {
        std::optional<Hosted> h = host_a_match(
            {"valgrind", "--tool=callgrind", "--callgrind-out-file=" + (dir / "out").string()}, env,
            120s);
        if (h && callgrind_control("-z", h->term->pid())) {
            const Clock::time_point start = Clock::now();
            bool echoed = true;
            for (int i = 0; i < kCountedKeys && echoed; ++i) {
                h->term->type(std::string_view(&kKeys[i % 2], 1));
                echoed = h->term->next_write(20s).has_value();
            }
            const Clock::duration typing = Clock::now() - start;
            if (echoed) counted = dumped_instructions(h->term->pid(), dir);
            // As long again with no key: what the program costs meanwhile.
            if (counted >= 0 && callgrind_control("-z", h->term->pid())) {
                std::this_thread::sleep_for(typing);
                idle = dumped_instructions(h->term->pid(), dir);
            }
        }
    }
    std::filesystem::remove_all(dir);
    if (counted < 0 || idle < 0) {
        std::printf("   now:    not measured: the program under callgrind gave no counts\n");
        return;
    }
    std::printf("   now:    %s instructions per key (%s over the keys, %s idle as long)\n",
                grouped((counted - idle) / kCountedKeys).c_str(), grouped(counted).c_str(),
                grouped(idle).c_str());
}

// --- Latency -------------------------------------------------------------------

struct Figures {
    double median;
    double p90;
};

Figures figures(std::vector<double> us) {
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 9 / 10]};
}

void print_latency(const char* what, const std::vector<double>& ours,
                   const std::vector<double>& minimal, const char* before) {
    const Figures o = figures(ours);
    const Figures m = figures(minimal);
    std::printf(
        "   %-18s taja-duel %6.0f / %6.0f us   minimal %6.0f / %6.0f us   "
        "ratio %.2fx / %.2fx   (median before: %s)\n",
        what, o.median, o.p90, m.median, m.p90, o.median / m.median, o.p90 / m.p90, before);
}

double since_us(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::micro>(end - start).count();
}

// The time from `act` until `term`'s next write, in microseconds; -1 if no
// write came.
double timed(Terminal& term, const std::function<void()>& act) {
    const Clock::time_point start = Clock::now();
    act();
    const std::optional<Clock::time_point> first = term.next_write();
    return first ? since_us(start, *first) : -1;
}

void latency(const std::map<std::string, std::string>& env) {
    std::printf(
        "== latency, %d samples each, median / p90, in turn with a minimal raw-mode "
        "program\n",
        kSamples);
    std::optional<Hosted> h = host_a_match({}, env, 20s);
    auto [ours, theirs] = taja::test::tcp_pair();
    Terminal minimal({std::filesystem::read_symlink("/proc/self/exe").string(), "--raw-echo",
                      std::to_string(theirs.fd())},
                     env);
    theirs = net::Socket();  // the minimal program has its copy
    if (!h || !minimal.wait_for([](const VtScreen& s) { return s.text(0, 0, 8) == "raw echo"; })) {
        std::printf("   not measured: a program did not come up\n");
        return;
    }
    Terminal& game = *h->term;
    std::vector<double> echo_ours;
    std::vector<double> echo_minimal;
    for (int i = 0; i < kSamples; ++i) {
        const std::string_view key(&kKeys[i % 2], 1);
        echo_ours.push_back(timed(game, [&] { game.type(key); }));
        echo_minimal.push_back(timed(minimal, [&] { minimal.type(key); }));
        if (echo_ours.back() < 0 || echo_minimal.back() < 0) {
            std::printf("   not measured: a key was not echoed\n");
            return;
        }
    }
    print_latency("key echo", echo_ours, echo_minimal, kEchoRatioBefore);

    std::vector<double> raise_ours;
    std::vector<double> raise_minimal;
    const int peer = h->peer.fd();
    for (int i = 0; i < kSamples; ++i) {
        const int before = taja::test::rival_tower(game.screen());
        raise_ours.push_back(timed(game, [&] { taja::test::send_raw(peer, "u"); }));
        raise_minimal.push_back(timed(minimal, [&] { taja::test::send_raw(ours.fd(), "u"); }));
        // The player knocks the raised block off again: the tower stays in
        // play, however many samples are taken.
        const bool raised = game.wait_for(
            [&](const VtScreen& s) { return taja::test::rival_tower(s) == before + 1; }, 2s);
        game.type(taja::test::target_word(game.screen()) + "\r");
        const bool knocked = game.wait_for(
            [&](const VtScreen& s) {
                return taja::test::rival_tower(s) == before && !taja::test::target_word(s).empty();
            },
            2s);
        game.drain();
        char sent[64];
        while (::recv(peer, sent, sizeof sent, MSG_DONTWAIT) > 0) {
        }
        if (raise_ours.back() < 0 || raise_minimal.back() < 0 || !raised || !knocked) {
            std::printf(
                "   not measured: a raise did not reach the tower, or was not knocked off\n");
            return;
        }
    }
    print_latency("peer byte to tower", raise_ours, raise_minimal, kRaiseRatioBefore);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::string(argv[1]) == "--raw-echo") return raw_echo(std::atoi(argv[2]));
    // Port 8080 of a namespace of our own, where the machine allows one.
    if (taja::test::enter_new_network() < 0)
        std::printf("(no network namespace of its own: on this machine's loopback)\n");
    taja::test::Home home;
    const std::map<std::string, std::string> env{{"HOME", home.path()},
                                                 {"ALSA_CONFIG_PATH", "/dev/null"},
                                                 {"LANG", "C.UTF-8"},
                                                 {"LC_ALL", "C.UTF-8"},
                                                 {"TERM", "xterm-256color"}};
    instructions_per_key(env);
    latency(env);
}
