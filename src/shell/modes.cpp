#include "shell/modes.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "console/console.h"
#include "console/keys.h"
#include "console/loop.h"
#include "duel/match.h"
#include "duel/practice_rival.h"
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

std::vector<console::Watch> loop_watches(const std::vector<net::Watch>& watches) {
    std::vector<console::Watch> out;
    for (const net::Watch& w : watches) out.push_back({w.sock, w.write});
    return out;
}

// Gives the port mapper what this turn brought it; whether its status
// changed.
bool update_mapper(net::PortMapper& mapper, const console::Turn& turn, Clock::time_point now) {
    bool changed = false;
    for (const net::Watch& w : mapper.watches()) {
        if (turn.ready_for(w.sock)) changed = mapper.on_ready(w.sock, now) || changed;
    }
    if (mapper.deadline() && *mapper.deadline() <= now) changed = mapper.on_deadline(now) || changed;
    return changed;
}

// The host's connection step: listens on `port` (trying again every second
// while the port cannot be had, and saying why), shows the waiting text with
// the addresses a friend can type, answers joiners looking for hosts on the
// local network, and takes one joiner. `mapper`, when there is one, goes on
// asking the router meanwhile, its answer on screen. Only a connection ends
// it. Keys typed meanwhile are left waiting.
net::Socket wait_for_joiner(std::uint16_t port, net::PortMapper* mapper) {
    for (;;) {
        net::Listening listening = net::listen_for_joiners(port);
        if (listening.ok()) {
            net::clear_link_error();
            net::show_waiting_text();
            net::show_own_addresses(net::own_address_texts(port));
            if (mapper != nullptr) net::show_port_mapping(mapper->status(), port);
            net::Announcer announcer(port, Clock::now());
            for (;;) {
                std::vector<console::Watch> watches = loop_watches(announcer.watches());
                watches.push_back({listening.sock.fd()});
                std::optional<Clock::time_point> deadline = announcer.deadline();
                if (mapper != nullptr) {
                    for (const console::Watch& w : loop_watches(mapper->watches()))
                        watches.push_back(w);
                    deadline = console::earliest(deadline, mapper->deadline());
                }
                const console::Turn turn = console::next_turn(console::Keys::leave, watches, deadline);
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
                if (accepted == net::AcceptResult::joined) return joiner;
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
        console::pause_until(Clock::now() + kRetryPause);
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
    net::show_connecting_text();
    console::discard_typed_keys();
    net::Resolver resolver(std::get<net::HostPort>(parsed));
    std::optional<net::Connector> connector;
    console::KeyDecoder keys;
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
        const auto escape = console::escape_deadline(keys.awaiting_escape());
        const auto deadline =
            console::earliest(escape, connector ? connector->deadline() : std::nullopt);
        const console::Turn turn =
            console::next_turn(console::Keys::take, loop_watches(watches), deadline);
        const auto now = Clock::now();
        if (connector) {
            for (const net::Watch& w : watches) {
                if (turn.ready_for(w.sock)) connector->on_ready(w.sock, now);
            }
            if (connector->deadline() && *connector->deadline() <= now) connector->on_deadline(now);
        }
        for (char c : turn.keys) keys.feed(static_cast<std::uint8_t>(c));
        if (escape && now >= *escape && keys.awaiting_escape()) keys.flush();
        while (keys.has_key()) {
            if (keys.take_key() == console::kEscapeKey) return failure(net::LinkError::cancelled);
        }
    }
}

// The joiner's connection step: asks for the host's address until a
// connection stands, saying below the prompt why the last try failed, and
// listing the hosts heard on the local network. Esc gives up a connect that
// waits, and the address is asked again. Every prompt starts from
// `address`, the one typed last; with `ask` false the first try connects to
// it without asking. Nothing when the keyboard is gone.
std::optional<net::Socket> ask_and_connect(std::string& address, bool ask) {
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
            if (read == net::IpRead::ended) return std::nullopt;
            link = read == net::IpRead::too_long ? failure(net::LinkError::not_an_address)
                                                 : connect_to(ip);
        }
        if (link.ok()) return std::move(link.sock);
        net::show_link_error(link);
    }
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

void run_host(const std::string& history, std::uint16_t port, bool map_port) {
    const duel::MatchNotes notes = recording_notes(history, PlayMode::host, std::to_string(port));
    // The router keeps the port open across matches; it is given back when
    // hosting ends.
    std::optional<net::PortMapper> mapper;
    if (map_port) mapper.emplace(port, Clock::now());
    for (;;) {
        console::clear_screen();
        play_on(wait_for_joiner(port, mapper ? &*mapper : nullptr), duel::Mode::hosting, 0,
                std::nullopt, notes);
    }
}

void run_join(const std::string& history, const std::string& address) {
    std::string last = address;
    int score = 0;
    for (bool ask = address.empty();; ask = true) {
        console::clear_screen();
        std::optional<net::Socket> sock = ask_and_connect(last, ask);
        if (!sock) return;
        score =
            duel::carried_score(play_on(std::move(*sock), duel::Mode::joining, score, std::nullopt,
                                        recording_notes(history, PlayMode::join, last)));
    }
}

// Like hosting, with the practice rival at the far end of each match's
// connection in place of a joiner.
void run_practice(const std::string& history, std::optional<int> speed) {
    std::string board;
    const int rival_speed = speed ? *speed : practice_speed_from(history, board);
    const duel::MatchNotes notes =
        recording_notes(history, PlayMode::practice, std::to_string(rival_speed), board);
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
        duel::PracticeRival rival(std::move(pair.other), rival_speed);
        play_on(std::move(pair.one), duel::Mode::hosting, 0, rival_speed, notes);
    }
}

}  // namespace shell
