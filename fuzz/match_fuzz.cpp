// The match's rules, fed the peer's events, the player's lines, the
// verdicts, the connection's end and the passing of time in any order: the
// towers stay between 0 and 12, every outcome is one of the three a match
// can come to by itself, an end comes only from a tower at its limit, a
// verdict, a leave or a wait that ran out.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "console/console.h"
#include "duel/match_state.h"
#include "duel/tables.h"
#include "net/socket.h"

namespace {

// The board is drawn into a console whose terminal reads everything.
bool open_null_console() {
    const int null_fd = ::open("/dev/null", O_RDWR);
    console::open_console(null_fd, null_fd);
    return true;
}

// What one input byte does to the match: the op in its low bits, an
// argument in the others.
duel::Progress step(duel::Match& match, std::uint8_t byte, duel::Clock::time_point& now) {
    const int arg = byte >> 4;
    switch (byte & 0x0F) {
        case 0:
            return match.apply(net::PeerEvent::raise);
        case 1:
            return match.apply(net::PeerEvent::knock);
        case 2:
            return match.apply(net::PeerEvent::hello);
        case 3:
            return match.apply(net::PeerEvent::host_won);
        case 4:
            return match.apply(net::PeerEvent::host_lost);
        case 5:
            return match.apply(net::PeerEvent::left);
        case 6:
        case 7: {
            // The target word, or a slot's, as the player enters them.
            const int index = (byte & 0x0F) == 6 ? match.target : match.ran[arg % duel::kSlots];
            return match.apply(duel::TypedLine{duel::word_table[index], now, now});
        }
        case 8:
            // Two words on one line: a slot's and the target.
            return match.apply(
                duel::TypedLine{std::string(duel::word_table[match.ran[arg % duel::kSlots]]) + " " +
                                    duel::word_table[match.target],
                                now, now});
        case 9:
            return match.apply(duel::TypedLine{"\xB0\xA1", now, now});  // no word of the table
        default:
            // Time passes: the waits of the match may run out.
            now += std::chrono::milliseconds(500) * (arg + 1);
            match.note_picture(now);
            return match.on_deadline(now);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool opened = open_null_console();
    (void)opened;
    if (size < 1 || size > 4096) return 0;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    net::Socket ours(fds[0]);
    net::Socket peer(fds[1]);
    net::PeerLink link(ours.fd());

    const duel::Mode mode = data[0] % 2 == 0 ? duel::Mode::hosting : duel::Mode::joining;
    duel::Match match(link, mode, 0, duel::draw_board());
    match.deal();
    duel::Clock::time_point now = duel::Clock::now();
    duel::Progress outcome = duel::kRunning;
    for (std::size_t i = 1; i < size && outcome == duel::kRunning; ++i) {
        const std::uint8_t byte = data[i];
        const bool verdict = (byte & 0x0F) == 3 || (byte & 0x0F) == 4;
        const bool leave = (byte & 0x0F) == 5;
        const bool waited = (byte & 0x0F) >= 10;
        outcome = step(match, byte, now);
        fuzz::check(match.own_height() >= 0 && match.own_height() <= duel::kWinHeight,
                    "the player's tower stays between 0 and 12");
        fuzz::check(match.rival_height() >= 0 && match.rival_height() <= duel::kWinHeight,
                    "the rival's tower stays between 0 and 12");
        if (outcome == duel::kRunning) continue;
        fuzz::check(*outcome == duel::Outcome::won || *outcome == duel::Outcome::lost ||
                        *outcome == duel::Outcome::rival_left,
                    "a match comes to a win, a loss or a leave by itself");
        fuzz::check(*outcome != duel::Outcome::rival_left || leave || waited,
                    "only the connection's end or a silence is a leave");
        const bool at_limit = match.own_height() == 0 || match.own_height() == duel::kWinHeight ||
                              match.rival_height() == 0 || match.rival_height() == duel::kWinHeight;
        fuzz::check(*outcome == duel::Outcome::rival_left || at_limit || verdict,
                    "a win or a loss comes from a tower at its limit or from a verdict");
        fuzz::check(!verdict || mode == duel::Mode::joining, "only a joiner takes a verdict");
    }
    return 0;
}
