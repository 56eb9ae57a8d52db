// Two real programs joined through a link that holds every byte 150 ms each
// way, each in a network of its own: words that cross at the end of a match
// still give one WIN and one LOSE, the same winner on both screens, because
// the host's verdict decides.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "support/duel_game.h"
#include "support/net_namespace.h"
#include "support/peer_harness.h"

namespace {

using namespace taja::test;

constexpr auto kLinkDelay = 150ms;

// Connections in TIME_WAIT on local port 8080 in the network of process
// `pid` (state 06 in the kernel's table; ports are in hex, 8080 is 1F90).
int time_waits_on_8080(pid_t pid) {
    std::ifstream table("/proc/" + std::to_string(pid) + "/net/tcp");
    std::string line;
    std::getline(table, line);  // the heading
    int n = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        n += local.ends_with(":1F90") && state == "06";
    }
    return n;
}

class Crossing : public ::testing::Test {
  protected:
    void SetUp() override {
        host_net_ = enter_new_network();
        if (host_net_ < 0) GTEST_SKIP() << "no network namespace of our own (not root?)";
        host_ = std::make_unique<Game>(home_);
        if (enter_new_network() < 0) GTEST_SKIP() << "no second network namespace";
        relay_ = std::make_unique<DelayRelay>(host_net_, kLinkDelay);
        join_ = std::make_unique<Game>(home_);
        host_->host();
        ASSERT_TRUE(host_->wait_for(waiting)) << host_->dump();
        join_->join();
        connect();
    }
    void TearDown() override {
        join_.reset();
        host_.reset();
        relay_.reset();
        if (host_net_ >= 0) ::close(host_net_);
    }

    // The joiner's address: its own loopback, where the relay listens. The
    // first prompt is empty; later ones hold the address typed last, and
    // Enter alone connects again.
    void connect() {
        const bool first = !connected_before_;
        connected_before_ = true;
        ASSERT_TRUE(join_->wait_for(
            [first](const VtScreen& s) {
                return first ? prompted(s) : prompted_with(s, "127.0.0.1");
            },
            kMatchEnd))
            << join_->dump();
        join_->type(first ? "127.0.0.1\r" : "\r");
        ASSERT_TRUE(host_->wait_for(match_running)) << host_->dump();
        ASSERT_TRUE(join_->wait_for(match_running)) << join_->dump();
    }

    // Slot words until the typist's tower stands at `height`, and until the
    // other screen shows it too.
    void raise_to(Game& typist, Game& other, int height) {
        for (int k = 0; typist.look_int(own_tower) < height; ++k) typist.type_slot_word(k % 5);
        ASSERT_TRUE(other.wait_for([height](const VtScreen& s) {
            return rival_tower(s) == height && !target_word(s).empty();
        })) << other.dump();
    }
    void knock_to(Game& typist, Game& other, int height) {
        while (typist.look_int(rival_tower) > height) typist.type_target_word();
        ASSERT_TRUE(other.wait_for([height](const VtScreen& s) { return own_tower(s) == height; }))
            << other.dump();
    }

    // Both words typed at once: each crosses the other on the link.
    void at_once(const std::string& host_word, const std::string& join_word) {
        host_->type(host_word + "\r");
        join_->type(join_word + "\r");
    }
    static std::string a_slot_word(const VtScreen& s) {
        for (int k = 0; k < 5; ++k) {
            if (slot_word(s, k) != target_word(s)) return slot_word(s, k);
        }
        return "?";
    }

    // The host's picture decides: it won, and both screens say so, neither
    // with a leave, each with its player's figures (every word typed here
    // hits); then both play the next match.
    void expect_host_won(bool joiner_typed = true) {
        ASSERT_TRUE(host_->wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   WIN!");
        })) << host_->dump();
        ASSERT_TRUE(join_->wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   LOSE!");
        })) << join_->dump();
        for (Game* g : {host_.get(), join_.get()}) {
            const bool typed = g == host_.get() || joiner_typed;
            ASSERT_TRUE(g->wait_for([](const VtScreen& s) { return !s.row(14).empty(); }))
                << g->dump();
            g->proc().screen().with_screen([typed](const VtScreen& s) {
                EXPECT_EQ(trim(s.text(84, 12, 30)), "") << "nobody left";
                const std::string figures = trim(s.text(84, 14, 40));
                if (typed) {
                    EXPECT_TRUE(figures.starts_with("타수 ") && figures.ends_with("   정확도 100%"))
                        << figures;
                } else {
                    EXPECT_EQ(figures, "입력한 단어가 없습니다.");
                }
            });
        }
        ASSERT_TRUE(host_->wait_for(waiting, kMatchEnd)) << host_->dump();
        // The joiner closed first: nothing of the match lingers on the port
        // the host binds again.
        EXPECT_EQ(time_waits_on_8080(host_->proc().pid()), 0);
        connect();
    }

    Home home_;
    int host_net_ = -1;
    std::unique_ptr<Game> host_;
    std::unique_ptr<DelayRelay> relay_;
    std::unique_ptr<Game> join_;
    bool connected_before_ = false;
};

TEST_F(Crossing, HostAtElevenRaisesWhileTheJoinerKnocks) {
    raise_to(*host_, *join_, 11);
    at_once(host_->look(a_slot_word), join_->look(target_word));
    expect_host_won();
}

TEST_F(Crossing, BothRaiseAtEleven) {
    raise_to(*host_, *join_, 11);
    raise_to(*join_, *host_, 11);
    at_once(host_->look(a_slot_word), join_->look(a_slot_word));
    expect_host_won();
}

TEST_F(Crossing, BothKnockTheOthersLastBlock) {
    knock_to(*host_, *join_, 1);
    knock_to(*join_, *host_, 1);
    at_once(host_->look(target_word), join_->look(target_word));
    expect_host_won();
}

TEST_F(Crossing, MatchAfterMatchLeavesNoTimeWaitOnTheHostsPort) {
    for (int match = 0; match < 2; ++match) {
        raise_to(*host_, *join_, 11);
        host_->type_slot_word(0);
        expect_host_won(false);
    }
}

TEST(PassiveClose, AJoinerThatNeverClosesHoldsTheHostNoLongerThanItsLimit) {
    const int net = enter_new_network();
    if (net < 0) GTEST_SKIP() << "no network namespace of our own (not root?)";
    Home home;
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket joiner = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    taja::test::send_raw(joiner.fd(), "uuuuuuuuu");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return result_shown(s, "Player   LOSE!"); }))
        << host.dump();
    // The result's three seconds, then at most two waiting for the close.
    EXPECT_TRUE(host.wait_for(waiting, 8s)) << host.dump();
    ::close(net);
}

}  // namespace
