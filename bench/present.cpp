// Figures for the console's presentation, printed, never judged: how many
// write(2) calls and bytes reach the terminal for each drawing step of the
// program -- a fresh board, a rival's raise and knock, a typed slot word.
// The console draws on a socket that keeps the bounds of each write.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "console/console.h"
#include "duel/board.h"
#include "duel/match.h"
#include "sound/music.h"
#include "support/peer_harness.h"
#include "support/vt_screen.h"

namespace {

using namespace std::chrono_literals;

// Every write of the console, counted and shown to a terminal emulator.
class Counted {
  public:
    Counted() {
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, out_) != 0) std::abort();
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, keys_) != 0) std::abort();
        console::open_console(keys_[1], out_[1]);
        reader_ = std::thread([this] {
            std::string buf(1 << 18, '\0');
            ssize_t n;
            while ((n = ::recv(out_[0], buf.data(), buf.size(), 0)) > 0) {
                std::lock_guard lock(mutex_);
                ++writes_;
                bytes_ += n;
                screen_.feed(std::string_view(buf.data(), static_cast<std::size_t>(n)));
            }
        });
    }
    ~Counted() {
        console::open_console(0, 1);
        ::shutdown(out_[1], SHUT_RDWR);
        reader_.join();
        for (int fd : {out_[0], out_[1], keys_[0], keys_[1]}) ::close(fd);
    }
    void type(const std::string& keys) { taja::test::send_raw(keys_[0], keys); }
    // Waits until `done` holds on the screen; then the writes and bytes
    // since the last mark.
    void report(const char* what, const std::function<bool(const taja::test::VtScreen&)>& done) {
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (done(screen_)) break;
            }
            std::this_thread::sleep_for(1ms);
        }
        std::this_thread::sleep_for(50ms);  // anything else it writes
        std::lock_guard lock(mutex_);
        std::printf("%-20s %3ld writes %6ld bytes\n", what, writes_ - mark_writes_,
                    bytes_ - mark_bytes_);
        mark_writes_ = writes_;
        mark_bytes_ = bytes_;
    }
    std::string text(int x, int y, int n) {
        std::lock_guard lock(mutex_);
        return screen_.text(x, y, n);
    }

  private:
    int out_[2];
    int keys_[2];
    std::mutex mutex_;
    taja::test::VtScreen screen_;
    long writes_ = 0;
    long bytes_ = 0;
    long mark_writes_ = 0;
    long mark_bytes_ = 0;
    std::thread reader_;
};

std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

}  // namespace

int main() {
    ::setenv("ALSA_CONFIG_PATH", "/dev/null", 1);  // no sound device
    Counted term;
    auto [ours, theirs] = taja::test::socket_pair();
    std::thread match([&] { duel::play_match(ours.fd(), duel::Mode::hosting); });
    term.report("fresh board (match)", [](const taja::test::VtScreen& s) {
        return s.text(117, 33, 8) != "        " && s.cursor().x == 84 && s.cursor().y == 48;
    });
    taja::test::send_raw(theirs.fd(), "u");
    term.report("received raise", [](const taja::test::VtScreen& s) {
        return s.text(128, 32, 1) == ")";
    });
    taja::test::send_raw(theirs.fd(), "c");
    term.report("received knock", [](const taja::test::VtScreen& s) {
        return s.text(48, 33, 3) == "   ";
    });
    term.type(trim(term.text(39, 42, 10)) + "\r");  // the first slot word
    term.report("typed slot word", [](const taja::test::VtScreen& s) {
        return s.text(50, 33, 1) == "(" && s.cursor().x == 84;
    });
    taja::test::send_raw(theirs.fd(), std::string(8, 'u'));
    match.join();
    sound::close_music();
}
