#include "duel/practice_rival.h"

#include <optional>

#include "duel/keystrokes.h"
#include "duel/tables.h"
#include "net/local_link.h"
#include "net/peer_events.h"

namespace duel {

namespace {

constexpr int kWinHeight = 12;

// Before each word, the rival looks at the board for about as long as two
// keystrokes take, within the word's time; every word's time varies by up
// to 15% either way; one word in eight is mistyped and typed again.
constexpr double kPauseKeys = 2.0;
constexpr double kJitter = 0.15;
constexpr double kMistypeChance = 1.0 / 8;

}  // namespace

void RivalPicture::take_players(char event) {
    if (event == net::kRaiseEvent) {
        ++players_;
    } else if (event == net::kKnockEvent) {
        --own_;
    }
}

char RivalPicture::play_own() {
    if (players_ >= own_) {
        --players_;
        return net::kKnockEvent;
    }
    ++own_;
    return net::kRaiseEvent;
}

bool RivalPicture::over() const {
    return own_ <= 0 || own_ >= kWinHeight || players_ <= 0 || players_ >= kWinHeight;
}

RivalTyping::RivalTyping(int speed, std::uint32_t seed) : key_ms_(60000.0 / speed), random_(seed) {}

RivalTyping::Word RivalTyping::next() {
    Word word{};
    word.index = std::uniform_int_distribution<int>(0, kWordCount - 1)(random_);
    word.mistyped = std::bernoulli_distribution(kMistypeChance)(random_);
    // The keys the result line counts: the word's and its Enter, once more
    // when it is typed again. The look at the board comes out of their time.
    const double keys = (count_keystrokes(word_table[word.index]) + 1) * (word.mistyped ? 2 : 1);
    const double scale = std::uniform_real_distribution<double>(1 - kJitter, 1 + kJitter)(random_);
    const double total_ms = keys * key_ms_ * scale;
    const double look_ms = kPauseKeys * key_ms_ * scale;
    word.look = std::chrono::milliseconds(static_cast<long long>(look_ms));
    word.typing = std::chrono::milliseconds(static_cast<long long>(total_ms - look_ms));
    return word;
}

PracticeRival::PracticeRival(net::Socket sock, int speed)
    : sock_(std::move(sock)), typing_(speed, std::random_device{}()) {
    // Greeted from here, before the player's match begins: no word of the
    // player's can end the match before the greeting is in.
    net::send_event(sock_.fd(), net::kHello);
    thread_ = std::thread([this] { play(); });
}

PracticeRival::~PracticeRival() {
    // Wakes the rival wherever it waits: its wait for the player's bytes
    // reads the end of the connection.
    net::shutdown_connection(sock_.fd());
    thread_.join();
}

bool PracticeRival::follow_player_until(std::chrono::steady_clock::time_point until) {
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        switch (net::wait_readable(sock_.fd(), left)) {
            case net::Readable::timeout:
                return true;
            case net::Readable::failed:
                return false;
            case net::Readable::yes:
                break;
        }
        char bytes[100];
        const long n = net::receive_bytes(sock_.fd(), bytes, sizeof bytes);
        if (n <= 0) return false;
        for (long i = 0; i < n; ++i) {
            const std::optional<net::PeerEvent> event = net::event_of(bytes[i]);
            if (event == net::PeerEvent::knock || event == net::PeerEvent::raise) {
                picture_.take_players(bytes[i]);
            } else if (event == net::PeerEvent::host_won || event == net::PeerEvent::host_lost) {
                return false;
            }
        }
    }
}

void PracticeRival::play() {
    for (;;) {
        const RivalTyping::Word word = typing_.next();
        if (!follow_player_until(std::chrono::steady_clock::now() + word.look + word.typing)) break;
        if (!picture_.over()) net::send_event(sock_.fd(), picture_.play_own());
    }
    // Closing first, as a joiner does, lets the player's side end without
    // waiting for the close.
    net::shutdown_connection(sock_.fd());
}

}  // namespace duel
