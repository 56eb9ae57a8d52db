#include "support/pty_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "console/console.h"

extern char** environ;

namespace taja::test {

bool terminal_full(pid_t pid) {
    const std::string tty = "/proc/" + std::to_string(pid) + "/fd/1";
    const int fd = ::open(tty.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    pollfd p{fd, POLLOUT, 0};
    const bool full = ::poll(&p, 1, 0) == 0;
    ::close(fd);
    return full;
}

namespace {

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

winsize make_winsize(int cols, int rows) {
    winsize ws{};
    ws.ws_col = static_cast<unsigned short>(cols);
    ws.ws_row = static_cast<unsigned short>(rows);
    return ws;
}

}  // namespace

// --- ScreenPump ---------------------------------------------------------------

ScreenPump::ScreenPump(int master_fd, int cols, int rows) : fd_(master_fd), screen_(cols, rows) {
    if (::pipe(stop_pipe_) != 0) std::abort();
    thread_ = std::thread([this] { run(); });
}

ScreenPump::~ScreenPump() {
    char b = 's';
    ssize_t unused = ::write(stop_pipe_[1], &b, 1);
    (void)unused;
    thread_.join();
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
}

void ScreenPump::run() {
    // Room for the largest write the program makes, which a socket that
    // keeps write bounds hands over whole or not at all.
    std::vector<char> buffer(1 << 18);
    char* buf = buffer.data();
    for (;;) {
        pollfd fds[2] = {{stop_pipe_[0], POLLIN, 0}, {fd_, POLLIN, 0}};
        if (::poll(fds, paused_.load() ? 1 : 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) {
            char b = 's';
            if (::read(stop_pipe_[0], &b, 1) != 1 || b == 's') return;
            continue;
        }
        ssize_t n = ::read(fd_, buf, buffer.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        std::lock_guard lock(mutex_);
        if (n <= 0) break;  // EIO once the other side has closed
        screen_.feed(std::string_view(buf, static_cast<std::size_t>(n)));
        output_.append(buf, static_cast<std::size_t>(n));
        ++reads_;
        changed_.notify_all();
    }
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }
    // Stay until told to stop, so the destructor's handshake is uniform.
    pollfd stop{stop_pipe_[0], POLLIN, 0};
    while (::poll(&stop, 1, -1) < 0 && errno == EINTR) {
    }
}

void ScreenPump::pause() {
    paused_.store(true);
    char b = 'p';
    ssize_t unused = ::write(stop_pipe_[1], &b, 1);
    (void)unused;
}

void ScreenPump::resume() {
    paused_.store(false);
    char b = 'p';
    ssize_t unused = ::write(stop_pipe_[1], &b, 1);
    (void)unused;
}

bool ScreenPump::wait_for(const std::function<bool(const VtScreen&)>& pred, Deadline deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return pred(screen_); });
}

bool ScreenPump::wait_text(int x, int y, std::string_view utf8, Deadline deadline) {
    return wait_for(
        [&](const VtScreen& s) {
            return s.text(x, y, static_cast<int>(utf8.size())).substr(0, utf8.size()) == utf8;
        },
        deadline);
}

void ScreenPump::with_screen(const std::function<void(const VtScreen&)>& look) {
    std::lock_guard lock(mutex_);
    look(screen_);
}

void ScreenPump::resize(int cols, int rows) {
    std::lock_guard lock(mutex_);
    screen_.resize(cols, rows);
}

std::string ScreenPump::dump() {
    std::lock_guard lock(mutex_);
    return screen_.dump();
}

std::string ScreenPump::output() {
    std::lock_guard lock(mutex_);
    return output_;
}

int ScreenPump::reads() {
    std::lock_guard lock(mutex_);
    return reads_;
}

bool ScreenPump::ended() {
    std::lock_guard lock(mutex_);
    return ended_;
}

// --- PtyProcess ---------------------------------------------------------------

PtyProcess::PtyProcess(std::string path, int cols, int rows, std::map<std::string, std::string> env,
                       bool count_writes, std::vector<std::string> args) {
    env.try_emplace("LANG", "C.UTF-8");
    env.try_emplace("LC_ALL", "C.UTF-8");
    env.try_emplace("TERM", "xterm-256color");
    // Build everything the child needs before fork: after it, only exec.
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (env.count(name) == 0) entries.push_back(entry);
    }
    for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{path.data()};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2] = {-1, -1};
    if (count_writes && ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, out) != 0)
        std::abort();
    winsize ws = make_winsize(cols, rows);
    pid_ = ::forkpty(&master_, nullptr, nullptr, &ws);
    if (pid_ < 0) std::abort();
    if (pid_ == 0) {
        if (count_writes) ::dup2(out[1], 1);
        ::execve(path.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (count_writes) ::close(out[1]);
    output_ = count_writes ? out[0] : master_;
    pump_ = std::make_unique<ScreenPump>(output_, cols, rows);
}

PtyProcess::~PtyProcess() {
    if (!exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
    pump_.reset();
    if (output_ != master_) ::close(output_);
    ::close(master_);
}

void PtyProcess::type(std::string_view bytes) { write_all(master_, bytes); }

void PtyProcess::resize(int cols, int rows) {
    pump_->resize(cols, rows);
    winsize ws = make_winsize(cols, rows);
    ::ioctl(master_, TIOCSWINSZ, &ws);  // the kernel sends SIGWINCH to the child
}

bool PtyProcess::wait_exit(Deadline deadline) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!exited_) {
        pid_t r = ::waitpid(pid_, &status_, WNOHANG);
        if (r == pid_) {
            exited_ = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

int PtyProcess::exit_code() const {
    return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

int PtyProcess::term_signal() const {
    return exited_ && WIFSIGNALED(status_) ? WTERMSIG(status_) : 0;
}

bool PtyProcess::line_mode() const {
    termios t;
    if (::tcgetattr(master_, &t) != 0) return false;
    return (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
}

// --- PtyConsole ---------------------------------------------------------------

PtyConsole::PtyConsole(int cols, int rows) {
    winsize ws = make_winsize(cols, rows);
    if (::openpty(&master_, &slave_, nullptr, nullptr, &ws) != 0) std::abort();
    // Keys as the program sees them on its own terminal: no echo, no line
    // buffering.
    termios t;
    ::tcgetattr(slave_, &t);
    t.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(slave_, TCSANOW, &t);
    pump_ = std::make_unique<ScreenPump>(master_, cols, rows);
    console::open_console(slave_, slave_);
}

PtyConsole::~PtyConsole() {
    console::open_console(0, 1);
    pump_.reset();
    ::close(slave_);
    ::close(master_);
}

void PtyConsole::type(std::string_view bytes) { write_all(master_, bytes); }

}  // namespace taja::test
