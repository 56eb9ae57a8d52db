#include "shell/modes.h"

#include <chrono>
#include <optional>
#include <string>

#include "console/console.h"
#include "console/keys.h"
#include "console/loop.h"
#include "duel/match.h"
#include "duel/practice_rival.h"
#include "net/host_join.h"
#include "net/local_link.h"

namespace shell {

namespace {

using console::Clock;

// How long the host waits before trying port 8080 again.
constexpr auto kRetryPause = std::chrono::seconds(1);

// The host's connection step: listens (trying again every second while the
// port cannot be had, and saying why), shows the waiting text and takes one
// joiner. Only a player's connection ends it: one that ends, or sends no
// event, before anything is drawn for it changes nothing on the screen, and
// the host listens again at once. Keys typed meanwhile are left waiting.
net::Socket wait_for_joiner() {
    bool shown = false;  // the waiting text stands alone
    for (;;) {
        net::Link listening = net::listen_for_peer();
        if (listening.ok()) {
            if (!shown) {
                net::clear_link_error();
                net::show_waiting_text();
                shown = true;
            }
            const console::Watch watch{listening.sock.fd()};
            while (!console::next_turn(console::Keys::leave, {&watch, 1}).ready_for(watch.sock)) {
            }
            net::Link joiner = net::accept_peer(std::move(listening.sock));
            if (joiner.ok() && net::is_a_player(joiner.sock)) return std::move(joiner.sock);
            if (joiner.ok()) continue;
            listening = std::move(joiner);
        }
        shown = false;
        net::show_link_error(listening);
        console::pause_until(Clock::now() + kRetryPause);
    }
}

// Waits for the connect that `link` started; Esc gives it up, every other
// key is dropped.
net::Link finish_watching_keys(net::Link link) {
    console::KeyDecoder keys;
    const console::Watch watch{link.sock.fd(), true};
    for (;;) {
        const auto pause = console::escape_deadline(keys.awaiting_escape());
        const console::Turn turn = console::next_turn(console::Keys::take, {&watch, 1}, pause);
        if (turn.ready_for(watch.sock)) return net::finish_connect(std::move(link.sock));
        for (char c : turn.keys) keys.feed(static_cast<std::uint8_t>(c));
        if (turn.timed_out && keys.awaiting_escape()) keys.flush();
        while (keys.has_key()) {
            if (keys.take_key() == console::kEscapeKey) {
                net::Link cancelled;
                cancelled.error = net::LinkError::cancelled;
                return cancelled;
            }
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
// first try connects to it without asking. Nothing when the keyboard is gone.
std::optional<net::Socket> ask_and_connect(std::string& address, bool ask) {
    for (;; ask = true) {
        net::Link link;
        if (!ask) {
            link = connect_to(address);
        } else {
            net::show_server_ip_prompt();
            std::string ip;
            net::IpRead read = net::read_server_ip(address, ip);
            if (read == net::IpRead::ended) return std::nullopt;
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

// What every mode does once the connection stands. Keys typed before the
// board is there (while waiting, or while the connection was being made) are
// meant for no word of the match.
duel::MatchResult play_on(net::Socket sock, duel::Mode mode, int score,
                          std::optional<int> practice_speed = std::nullopt) {
    console::clear_screen();
    console::discard_typed_keys();
    return duel::play_match(sock.fd(), mode, score, practice_speed);
}

}  // namespace

void run_host() {
    for (;;) {
        console::clear_screen();
        play_on(wait_for_joiner(), duel::Mode::hosting, 0);
    }
}

void run_join(const std::string& address) {
    std::string last = address;
    int score = 0;
    for (bool ask = address.empty();; ask = true) {
        console::clear_screen();
        std::optional<net::Socket> sock = ask_and_connect(last, ask);
        if (!sock) return;
        score = duel::carried_score(play_on(std::move(*sock), duel::Mode::joining, score));
    }
}

// Like hosting, with the practice rival at the far end of each match's
// connection in place of a joiner.
void run_practice(int speed) {
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
        duel::PracticeRival rival(std::move(pair.other), speed);
        play_on(std::move(pair.one), duel::Mode::hosting, 0, speed);
    }
}

}  // namespace shell
