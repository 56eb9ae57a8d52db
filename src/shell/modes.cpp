#include "shell/modes.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "console/console.h"
#include "console/keys.h"
#include "console/loop.h"
#include "duel/match.h"
#include "duel/practice_rival.h"
#include "duel/random.h"
#include "net/connector.h"
#include "net/discovery.h"
#include "net/host_join.h"
#include "net/listener.h"
#include "net/local_link.h"
#include "net/port_mapper.h"
#include "net/resolver.h"
#include "shell/recording.h"

namespace shell {

namespace {

using console::Clock;

// How long the host waits before trying its port again.
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

// Gives the port mapper what this turn brought it; whether its status
// changed.
bool update_mapper(net::PortMapper& mapper, const console::Turn& turn, Clock::time_point now) {
    bool changed = false;
    for (const net::Watch& w : mapper.watches()) {
        if (turn.ready_for(w.sock)) changed = mapper.on_ready(w.sock, now) || changed;
    }
    if (mapper.deadline() && *mapper.deadline() <= now)
        changed = mapper.on_deadline(now) || changed;
    return changed;
}

// The host's connection step: listens on `port` (trying again every second
// while the port cannot be had, and saying why), shows the waiting text with
// the addresses a friend can type, answers joiners looking for hosts on the
// local network, and takes one joiner. `mapper`, when there is one, goes on
// asking the router meanwhile, its answer on screen. Only a player's
// connection ends it, or Esc (nothing then): a connection that ends, or
// sends no event, before anything is drawn for it changes nothing on the
// screen, and the host goes on listening.
std::optional<net::Socket> wait_for_joiner(std::uint16_t port, net::PortMapper* mapper) {
    EscapeKey escape;
    for (;;) {
        net::Listening listening = net::listen_for_joiners(port);
        if (listening.ok()) {
            {
                // The waiting screen in one present.
                console::DrawStep step;
                net::clear_link_error();
                net::show_waiting_text();
                net::show_own_addresses(net::own_address_texts(port));
                if (escape.touched) net::show_waiting_keys();
                if (mapper != nullptr) net::show_port_mapping(mapper->status(), port);
            }
            net::Announcer announcer(port, Clock::now());
            for (;;) {
                std::vector<console::Watch> watches = net::loop_watches(announcer.watches());
                watches.push_back({listening.sock.fd()});
                std::optional<Clock::time_point> deadline =
                    console::earliest(announcer.deadline(), escape.deadline());
                if (mapper != nullptr) {
                    for (const console::Watch& w : net::loop_watches(mapper->watches()))
                        watches.push_back(w);
                    deadline = console::earliest(deadline, mapper->deadline());
                }
                // With the keyboard gone, only a joiner ends the wait.
                const console::Keys keys =
                    console::input_ended() ? console::Keys::leave : console::Keys::take;
                const console::Turn turn = console::next_turn(keys, watches, deadline);
                const bool was_touched = escape.touched;
                if (escape.pressed(turn)) return std::nullopt;
                if (escape.touched && !was_touched) net::show_waiting_keys();
                const auto now = Clock::now();
                for (const net::Watch& w : announcer.watches()) {
                    if (turn.ready_for(w.sock)) announcer.on_ready(w.sock, now);
                }
                if (announcer.deadline() && *announcer.deadline() <= now)
                    announcer.on_deadline(now);
                if (mapper != nullptr && update_mapper(*mapper, turn, now))
                    net::show_port_mapping(mapper->status(), port);
                if (!turn.ready_for(listening.sock.fd())) continue;
                net::Socket joiner;
                int code = 0;
                const net::AcceptResult accepted =
                    net::accept_joiner(listening.sock.fd(), joiner, code);
                if (accepted == net::AcceptResult::joined && net::is_a_player(joiner))
                    return joiner;
                if (accepted == net::AcceptResult::failed) {
                    listening.error = net::ListenError::other;
                    listening.code = code;
                    break;
                }
            }
        }
        net::Link failed;
        failed.error = listening.error == net::ListenError::port_in_use
                           ? net::LinkError::port_in_use
                           : net::LinkError::other;
        failed.code = listening.code;
        net::show_link_error(failed, port);
        if (!wait_or_escape(escape, {}, Clock::now() + kRetryPause)) return std::nullopt;
    }
}

net::Link failure(net::LinkError error, int code = 0) {
    net::Link link;
    link.error = error;
    link.code = code;
    return link;
}

net::Link failure_of(const net::ResolveFailure& failed) {
    return failure(failed.error == net::ResolveError::try_later ? net::LinkError::name_server_silent
                                                                : net::LinkError::name_not_found);
}

net::Link failure_of(const net::ConnectFailure& failed) {
    switch (failed.error) {
        case net::ConnectError::refused:
            return failure(net::LinkError::refused);
        case net::ConnectError::no_answer:
            return failure(net::LinkError::no_answer);
        case net::ConnectError::no_ipv6_route:
            return failure(net::LinkError::no_ipv6_route);
        case net::ConnectError::none:
        case net::ConnectError::other:
            break;
    }
    return failure(net::LinkError::other, failed.code);
}

// Connects to the host at the typed `address`: looks its name up, then
// tries its addresses in turn, each given a moment before the next starts
// (Happy Eyeballs). A connect can take a while: it says so in place of the
// reason for the last failure, which would be wrong by now. Esc gives it up
// at any time; every other key, typed ahead or while it waits, is dropped.
net::Link connect_to(const std::string& address) {
    const auto parsed = net::parse_address(address);
    if (const auto* error = std::get_if<net::AddressError>(&parsed)) {
        return failure(*error == net::AddressError::bad_port ? net::LinkError::bad_port
                                                             : net::LinkError::not_an_address);
    }
    // Keys typed ahead are dropped before the text shows: those typed once
    // it stands are the player's answer to it (Esc).
    console::discard_typed_keys();
    net::show_connecting_text();
    net::Resolver resolver(std::get<net::HostPort>(parsed));
    std::optional<net::Connector> connector;
    EscapeKey escape;
    for (;;) {
        if (!connector && resolver.done()) {
            const net::Resolved& resolved = resolver.result();
            if (const auto* failed = std::get_if<net::ResolveFailure>(&resolved))
                return failure_of(*failed);
            connector.emplace(std::get<std::vector<net::Endpoint>>(resolved), Clock::now());
        }
        if (connector && connector->done()) {
            net::Link link;
            link.sock = connector->take_socket();
            return link.sock.fd() >= 0 ? std::move(link) : failure_of(connector->failure());
        }
        const std::vector<net::Watch> watches =
            connector ? connector->watches() : std::vector<net::Watch>{resolver.watch()};
        const auto deadline =
            console::earliest(escape.deadline(), connector ? connector->deadline() : std::nullopt);
        const console::Turn turn =
            console::next_turn(console::Keys::take, net::loop_watches(watches), deadline);
        const auto now = Clock::now();
        if (connector) {
            for (const net::Watch& w : watches) {
                if (turn.ready_for(w.sock)) connector->on_ready(w.sock, now);
            }
            if (connector->deadline() && *connector->deadline() <= now) connector->on_deadline(now);
        }
        if (escape.pressed(turn)) return failure(net::LinkError::cancelled);
    }
}

// The joiner's connection step: asks for the host's address until a
// connection stands, saying below the prompt why the last try failed, and
// listing the hosts heard on the local network. Esc gives up a connect that
// waits, and the address is asked again. Every prompt starts from
// `address`, the one typed last; with `ask` false the first try connects to
// it without asking. Nothing when the keyboard is gone (`ended` is then
// set), or when the player pressed Esc at the prompt.
std::optional<net::Socket> ask_and_connect(std::string& address, bool ask, bool& ended) {
    std::optional<net::HostFinder> finder;
    for (;; ask = true) {
        net::Link link;
        if (!ask) {
            link = connect_to(address);
        } else {
            net::show_server_ip_prompt();
            if (!finder) finder.emplace(Clock::now());
            std::string ip;
            net::IpRead read = net::read_server_ip(address, ip, *finder);
            ended = read == net::IpRead::ended;
            if (read == net::IpRead::ended || read == net::IpRead::cancelled) return std::nullopt;
            link = read == net::IpRead::too_long ? failure(net::LinkError::not_an_address)
                                                 : connect_to(ip);
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

ModeEnd run_host(const std::string& history, std::uint16_t port, bool map_port) {
    const duel::MatchNotes notes =
        with_tally(recording_notes(history, PlayMode::host, std::to_string(port)), "host");
    // The router keeps the port open across matches; it is given back when
    // hosting ends.
    std::optional<net::PortMapper> mapper;
    if (map_port) mapper.emplace(port, Clock::now());
    for (;;) {
        console::clear_screen();
        std::optional<net::Socket> joiner = wait_for_joiner(port, mapper ? &*mapper : nullptr);
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
