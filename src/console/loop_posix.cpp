// The loop on a POSIX terminal: one poll on the terminal's input, the signal
// pipe, the terminal's output while a present waits for it, and the states'
// sockets, with the deadline as its timeout.
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "console/console_detail.h"
#include "console/loop.h"

namespace console {

namespace {

void read_keys(Turn& turn) {
    ConsoleState& s = state();
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(s.in_fd, buf, sizeof buf);
        if (n > 0) {
            turn.keys.append(buf, static_cast<std::size_t>(n));
            return;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // End of input (0), or the terminal is gone (EIO ...).
        s.input_ended = true;
        turn.keys_ended = true;
        return;
    }
}

int timeout_ms(std::optional<Clock::time_point> deadline) {
    if (!deadline) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

}  // namespace

Turn next_turn(Keys keys, std::span<const Watch> watches,
               std::optional<Clock::time_point> deadline) {
    ConsoleState& s = state();
    std::vector<pollfd> fds;
    for (;;) {
        present_pending();
        fds.clear();
        const int sig = signal_pipe();
        if (sig >= 0) fds.push_back({sig, POLLIN, 0});
        const bool take_keys = keys == Keys::take && !s.input_ended;
        const std::size_t keys_at = fds.size();
        if (take_keys) fds.push_back({s.in_fd, POLLIN, 0});
        if (output_pending()) fds.push_back({s.out_fd, POLLOUT, 0});
        const std::size_t watches_at = fds.size();
        for (const Watch& w : watches)
            fds.push_back({w.sock, static_cast<short>(POLLIN | (w.write ? POLLOUT : 0)), 0});

        const int r = ::poll(fds.data(), fds.size(), timeout_ms(deadline));
        Turn turn;
        if (r > 0) {
            if (sig >= 0 && fds[0].revents != 0) take_signals();
            if (take_keys && fds[keys_at].revents != 0) read_keys(turn);
            for (std::size_t i = 0; i < watches.size(); ++i) {
                if (fds[watches_at + i].revents != 0) turn.ready.push_back(watches[i].sock);
            }
        }
        if (deadline && Clock::now() >= *deadline) turn.timed_out = true;
        if (!turn.keys.empty() || turn.keys_ended || !turn.ready.empty() || turn.timed_out)
            return turn;
    }
}

void discard_typed_keys() { ::tcflush(state().in_fd, TCIFLUSH); }

}  // namespace console
