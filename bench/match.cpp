// Figures for the match, printed, never judged:
//  - the CPU time the whole process uses while a match waits for its player
//    (it should be close to nothing: the loop blocks, no thread polls);
//  - the time from a peer's raise byte being sent to the grown rival tower
//    being on the terminal (read back through a terminal emulator).
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "console/console.h"
#include "duel/match.h"
#include "sound/music.h"
#include "support/peer_harness.h"
#include "support/pty_process.h"

namespace {

using Clock = std::chrono::steady_clock;

double cpu_seconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

bool rival_block(const taja::test::VtScreen& s, int row) {
    return s.text(111, row, 3) == "  (" && s.text(128, row, 1) == ")";
}

// One match on a fresh board; `during` plays the peer, then the match is
// ended by raising the rival to twelve blocks.
template <typename Peer>
void with_match(taja::test::PtyConsole& pty, Peer during) {
    auto [ours, theirs] = taja::test::socket_pair();
    console::clear_screen();
    std::thread match([&] { duel::play_match(ours.fd(), duel::Mode::hosting); });
    pty.screen().wait_for([](const taja::test::VtScreen& s) { return s.text(117, 33, 8) != "        "; });
    int raised = during(theirs.fd());
    taja::test::send_raw(theirs.fd(), std::string(static_cast<std::size_t>(9 - raised), 'u'));
    match.join();
}

}  // namespace

int main() {
    ::setenv("ALSA_CONFIG_PATH", "/dev/null", 1);  // no sound device
    taja::test::PtyConsole pty;

    with_match(pty, [](int) {
        const double before = cpu_seconds();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        std::printf("idle match: %.2f ms of CPU over 3 s (all threads)\n",
                    (cpu_seconds() - before) * 1e3);
        return 0;
    });

    std::vector<double> micros;
    for (int m = 0; m < 4; ++m) {
        with_match(pty, [&](int peer) {
            for (int h = 3; h < 11; ++h) {
                const int row = 35 - h;
                auto sent = Clock::now();
                taja::test::send_raw(peer, "u");
                pty.screen().wait_for([row](const taja::test::VtScreen& s) { return rival_block(s, row); });
                micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
            }
            return 8;
        });
    }
    std::sort(micros.begin(), micros.end());
    std::printf("peer byte to grown tower on screen: median %.0f us, max %.0f us over %zu raises\n",
                micros[micros.size() / 2], micros.back(), micros.size());
    sound::close_music();
}
