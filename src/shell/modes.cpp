#include "shell/modes.h"

#include <chrono>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "console/console.h"
#include "console/keys.h"
#include "console/loop.h"
#include "duel/match.h"
#include "duel/practice_rival.h"
#include "duel/random.h"
#include "net/host_join.h"
#include "net/local_link.h"
#include "shell/recording.h"

namespace shell {

namespace {

using console::Clock;

// How long the host waits before trying port 8080 again.
constexpr auto kRetryPause = std::chrono::seconds(1);

// The Escape key among the keys of turns that wait for something else; the
// other keys do nothing there.
struct EscapeKey {
    console::KeyDecoder keys;
    bool touched = false;  // some key has come

    std::optional<Clock::time_point> deadline() const {
        return console::escape_deadline(keys.awaiting_escape());
    }
    bool pressed(const console::Turn& turn) {
        for (char c : turn.keys) keys.feed(static_cast<std::uint8_t>(c));
        if (turn.timed_out && keys.awaiting_escape()) keys.flush();
        touched = touched || !turn.keys.empty();
        bool escape = false;
        while (keys.has_key()) escape = keys.take_key() == console::kEscapeKey || escape;
        return escape;
    }
};

// Waits until `until` (none: for good) or `watch` is ready. False when the
// player pressed Esc; once a key has come, the host's keys show.
bool wait_or_escape(EscapeKey& escape, std::span<const console::Watch> watch,
                    std::optional<Clock::time_point> until) {
    for (;;) {
        // With the keyboard gone, only the watched socket or the time ends it.
        const console::Keys keys =
            console::input_ended() ? console::Keys::leave : console::Keys::take;
        const console::Turn turn =
            console::next_turn(keys, watch, console::earliest(until, escape.deadline()));
        const bool was_touched = escape.touched;
        if (escape.pressed(turn)) return false;
        if (escape.touched && !was_touched) net::show_waiting_keys();
        if (!watch.empty() && turn.ready_for(watch[0].sock)) return true;
        if (until && Clock::now() >= *until) return true;
    }
}

// The host's connection step: listens (trying again every second while the
// port cannot be had, and saying why), shows the waiting text and takes one
// joiner. Only a connection ends it, or Esc: nothing then.
std::optional<net::Socket> wait_for_joiner() {
    EscapeKey escape;
    for (;;) {
        net::Link listening = net::listen_for_peer();
        if (listening.ok()) {
            net::clear_link_error();
            net::show_waiting_text();
            if (escape.touched) net::show_waiting_keys();
            const console::Watch watch{listening.sock.fd()};
            if (!wait_or_escape(escape, {&watch, 1}, std::nullopt)) return std::nullopt;
            net::Link joiner = net::accept_peer(std::move(listening.sock));
            if (joiner.ok()) return std::move(joiner.sock);
            listening = std::move(joiner);
        }
        net::show_link_error(listening);
        if (!wait_or_escape(escape, {}, Clock::now() + kRetryPause)) return std::nullopt;
    }
}

// Waits for the connect that `link` started; Esc gives it up, every other
// key is dropped.
net::Link finish_watching_keys(net::Link link) {
    EscapeKey escape;
    const console::Watch watch{link.sock.fd(), true};
    for (;;) {
        const console::Turn turn =
            console::next_turn(console::Keys::take, {&watch, 1}, escape.deadline());
        if (turn.ready_for(watch.sock)) return net::finish_connect(std::move(link.sock));
        if (escape.pressed(turn)) {
            net::Link cancelled;
            cancelled.error = net::LinkError::cancelled;
            return cancelled;
        }
    }
}

// Connects to the host at `ip`. A connect can take a while: it says so in
// place of the reason for the last failure, which would be wrong by now.
// Keys typed ahead, and while it waits, are for no one but Esc.
net::Link connect_to(const std::string& ip) {
    net::show_connecting_text();
    console::discard_typed_keys();
    net::Link link = net::start_connect(ip.c_str());
    return link.connecting ? finish_watching_keys(std::move(link)) : std::move(link);
}

// The joiner's connection step: asks for the host's address until a
// connection stands, saying below the prompt why the last try failed. Esc
// gives up a connect that waits, and the address is asked again. Every
// prompt starts from `address`, the one typed last; with `ask` false the
// first try connects to it without asking. Nothing when the keyboard is gone
// (`ended` is then set), or when the player pressed Esc at the prompt.
std::optional<net::Socket> ask_and_connect(std::string& address, bool ask, bool& ended) {
    for (;; ask = true) {
        net::Link link;
        if (!ask) {
            link = connect_to(address);
        } else {
            net::show_server_ip_prompt();
            std::string ip;
            net::IpRead read = net::read_server_ip(address, ip);
            ended = read == net::IpRead::ended;
            if (read == net::IpRead::ended || read == net::IpRead::cancelled) return std::nullopt;
            if (read == net::IpRead::too_long) {
                link.error = net::LinkError::not_an_address;
            } else {
                link = connect_to(ip);
            }
        }
        if (link.ok()) return std::move(link.sock);
        net::show_link_error(link);
    }
}

// This run's wins and losses against each rival: a host, a joiner at an
// address, the practice rival at a speed.
struct WinsLosses {
    int won = 0;
    int lost = 0;
};
std::map<std::string, WinsLosses> g_tally;  // main thread only

// "이 상대와 이번에: " N "승 " N "패"
constexpr char kTallyLabel[] = "\xC0\xCC \xBB\xF3\xB4\xEB\xBF\xCD \xC0\xCC\xB9\xF8\xBF\xA1: ";
constexpr char kWon[] = "\xBD\xC2 ";
constexpr char kLost[] = "\xC6\xD0";

// `notes` with the tally against `rival` under each result.
duel::MatchNotes with_tally(duel::MatchNotes notes, const std::string& rival) {
    notes.tally = [rival](const duel::MatchResult& result) {
        WinsLosses& count = g_tally[rival];
        (result.outcome == duel::Outcome::lost ? count.lost : count.won) += 1;
        return kTallyLabel + std::to_string(count.won) + kWon + std::to_string(count.lost) + kLost;
    };
    return notes;
}

// What every mode does once the connection stands. Keys typed before the
// board is there (while waiting, or while the connection was being made) are
// meant for no word of the match.
duel::MatchResult play_on(net::Socket sock, duel::Mode mode, int score,
                          std::optional<int> practice_speed, const duel::MatchNotes& notes) {
    console::clear_screen();
    console::discard_typed_keys();
    return duel::play_match(sock.fd(), mode, score, practice_speed, notes);
}

}  // namespace

ModeEnd run_host(const std::string& history) {
    const duel::MatchNotes notes =
        with_tally(recording_notes(history, PlayMode::host, "8080"), "host");
    for (;;) {
        console::clear_screen();
        std::optional<net::Socket> joiner = wait_for_joiner();
        if (!joiner) return console::input_ended() ? ModeEnd::input_ended : ModeEnd::menu;
        if (play_on(std::move(*joiner), duel::Mode::hosting, 0, std::nullopt, notes).outcome ==
            duel::Outcome::player_left)
            return ModeEnd::menu;
    }
}

ModeEnd run_join(const std::string& history, const std::string& address) {
    std::string last = address;
    int score = 0;
    for (bool ask = address.empty();; ask = true) {
        console::clear_screen();
        bool ended = false;
        std::optional<net::Socket> sock = ask_and_connect(last, ask, ended);
        if (!sock) return ended ? ModeEnd::input_ended : ModeEnd::menu;
        const duel::MatchResult result =
            play_on(std::move(*sock), duel::Mode::joining, score, std::nullopt,
                    with_tally(recording_notes(history, PlayMode::join, last), "join " + last));
        if (result.outcome == duel::Outcome::player_left) return ModeEnd::menu;
        score = duel::carried_score(result);
    }
}

// Like hosting, with the practice rival at the far end of each match's
// connection in place of a joiner.
ModeEnd run_practice(const std::string& history, std::optional<int>& speed) {
    std::string board;
    if (!speed) speed = practice_speed_from(history, board);
    const int rival_speed = *speed;
    const duel::MatchNotes notes =
        with_tally(recording_notes(history, PlayMode::practice, std::to_string(rival_speed), board),
                   "practice " + std::to_string(rival_speed));
    for (;;) {
        console::clear_screen();
        net::LocalPair pair = net::local_pair();
        if (!pair.ok()) {
            // Out of descriptors, or the like: say why, and try again.
            net::Link failed;
            failed.error = net::LinkError::other;
            failed.code = pair.code;
            net::show_link_error(failed);
            console::pause_until(Clock::now() + kRetryPause);
            continue;
        }
        // Each practice board is a new one: words from a generator of its own.
        duel::FreshRandom fresh;
        duel::PracticeRival rival(std::move(pair.other), rival_speed);
        if (play_on(std::move(pair.one), duel::Mode::hosting, 0, rival_speed, notes).outcome ==
            duel::Outcome::player_left)
            return ModeEnd::menu;
    }
}

}  // namespace shell
