#include "shell/modes.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "console/console.h"
#include "console/line_input.h"
#include "duel/match.h"
#include "duel/practice_rival.h"
#include "net/host_join.h"
#include "net/local_link.h"

namespace shell {

namespace {

// How long the host waits before trying port 8080 again.
constexpr auto kRetryPause = std::chrono::seconds(1);

// The host's connection step: listens (trying again every second while the
// port cannot be had, and saying why), shows the waiting text and takes one
// joiner. Only a connection ends it.
net::Socket wait_for_joiner() {
    for (;;) {
        net::Link listening = net::listen_for_peer();
        if (listening.ok()) {
            net::clear_link_error();
            net::show_waiting_text();
            net::Link joiner = net::accept_peer(std::move(listening.sock));
            if (joiner.ok()) return std::move(joiner.sock);
            listening = std::move(joiner);
        }
        net::show_link_error(listening);
        std::this_thread::sleep_for(kRetryPause);
    }
}

// Connects to the host at `ip`. A connect can take a while: it says so in
// place of the reason for the last failure, which would be wrong by now.
// Keys typed ahead, and while it waits, are for no one but Esc.
net::Link connect_to(console::LineInput& keys, const char* ip) {
    net::show_connecting_text();
    keys.discard_pending_input();
    return net::connect_to_host(ip, net::KeysWhileConnecting::escape_cancels);
}

// The joiner's connection step: asks for the host's address until a
// connection stands, saying below the prompt why the last try failed. Esc
// gives up a connect that waits, and the address is asked again. Every
// prompt starts from `address`, the one typed last; with `ask` false the
// first try connects to it without asking. Nothing when the keyboard is gone.
std::optional<net::Socket> ask_and_connect(console::LineInput& keys, std::string& address,
                                           bool ask) {
    for (;; ask = true) {
        net::Link link;
        if (!ask) {
            link = connect_to(keys, address.c_str());
        } else {
            net::show_server_ip_prompt();
            char ip[20];
            net::IpRead read = net::read_server_ip(keys, address, ip);
            if (read == net::IpRead::ended) return std::nullopt;
            if (read == net::IpRead::too_long) {
                link.error = net::LinkError::not_an_address;
            } else {
                link = connect_to(keys, ip);
            }
        }
        if (link.ok()) return std::move(link.sock);
        net::show_link_error(link);
    }
}

// What both modes do once the connection stands. Keys typed before the
// board is there (while waiting, or while the connection was being made) are
// meant for no word of the match.
void play_on(net::Socket sock, console::LineInput& keys, duel::Mode mode) {
    console::clear_screen();
    keys.discard_pending_input();
    duel::play_match(sock.fd(), mode);
}

}  // namespace

void run_host() {
    console::LineInput keys;
    for (;;) {
        console::clear_screen();
        play_on(wait_for_joiner(), keys, duel::Mode::hosting);
    }
}

void run_join(const std::string& address) {
    console::LineInput keys;
    std::string last = address;
    for (bool ask = address.empty();; ask = true) {
        console::clear_screen();
        std::optional<net::Socket> sock = ask_and_connect(keys, last, ask);
        if (!sock) return;
        play_on(std::move(*sock), keys, duel::Mode::joining);
    }
}

// Like hosting, with the practice rival at the far end of each match's
// connection in place of a joiner.
void run_practice(int speed) {
    console::LineInput keys;
    for (;;) {
        console::clear_screen();
        net::LocalPair pair = net::local_pair();
        if (!pair.ok()) {
            // Out of descriptors, or the like: say why, and try again.
            net::Link failed;
            failed.error = net::LinkError::other;
            failed.code = pair.code;
            net::show_link_error(failed);
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        duel::PracticeRival rival(std::move(pair.other), speed);
        play_on(std::move(pair.one), keys, duel::Mode::hosting);
    }
}

}  // namespace shell
