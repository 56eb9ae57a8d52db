// The peer receiver on real connections: what arrives on the wire becomes
// pending events, none lost or merged, while a test thread plays the match
// loop's part and takes them.
#include "net/peer_events.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdint>
#include <string>
#include <thread>

#include "console/console.h"
#include "net/socket.h"
#include "net/wakeup.h"
#include "support/peer_harness.h"
#include "support/pty_process.h"

namespace {

using namespace std::chrono_literals;
using taja::test::match_until;
using taja::test::send_raw;
using taja::test::take_pending;
using taja::test::Taken;

// receive_events on a thread of its own, as a mode starts it, and a mark
// when it has ended by itself. The socket must outlive it.
class ReceiverThread {
  public:
    explicit ReceiverThread(int sock)
        : sock_(sock), thread_([this] {
              net::receive_events(sock_, stopping_);
              ended_.store(true);
              net::signal_match();
          }) {}
    ~ReceiverThread() {
        net::stop_receiver(stopping_);
        net::shutdown_connection(sock_);
        thread_.join();
    }
    ReceiverThread(const ReceiverThread&) = delete;
    ReceiverThread& operator=(const ReceiverThread&) = delete;

    bool ended() const { return ended_.load(); }

  private:
    int sock_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

// Takes every event the receiver delivers until it has ended and nothing is
// pending. Every `slow_every`-th take the "match" dawdles, so that the
// receiver finds its flags full and must wait.
Taken take_until_ended(const ReceiverThread& receiver, std::chrono::milliseconds deadline,
                       long slow_every = 0) {
    Taken taken;
    bool ended = match_until(
        [&] {
            bool was_ended = receiver.ended();
            while (take_pending(taken)) {
                long total = taken.knocks + taken.raises;
                if (slow_every > 0 && total % slow_every == 0) {
                    std::this_thread::sleep_for(std::chrono::microseconds(500));
                }
            }
            return was_ended;
        },
        deadline);
    EXPECT_TRUE(ended) << "the receiver did not end; taken " << taken.knocks << " knocks, "
                       << taken.raises << " raises";
    EXPECT_EQ(taken.leaves, 1) << "the peer went once, after its last event";
    return taken;
}

class PeerEventsTest : public ::testing::Test {
  protected:
    PeerEventsTest() { net::clear_events(); }

    // Puts the console cursor somewhere the receiver never puts it.
    void park_cursor() {
        console::set_cursor(10, 5);
        ASSERT_TRUE(screen().wait_for(
            [](const taja::test::VtScreen& s) { return s.cursor().x == 10 && s.cursor().y == 5; }));
    }

    // The cursor is where park_cursor left it: text printed now lands there.
    // (The terminal reads our output in order, so a placement the receiver
    // made earlier would put the mark elsewhere.)
    void expect_cursor_still_parked() {
        console::print_text("#");
        EXPECT_TRUE(screen().wait_for([](const taja::test::VtScreen& s) {
            return s.text(10, 5, 1) == "#" && s.cursor().x == 11 && s.cursor().y == 5;
        })) << screen().dump();
    }

    bool cursor_home() {
        return screen().wait_for(
            [](const taja::test::VtScreen& s) { return s.cursor().x == 0 && s.cursor().y == 0; });
    }

    taja::test::ScreenPump& screen() { return console_.screen(); }

    taja::test::PtyConsole console_;
};

TEST_F(PeerEventsTest, KnockAndRaiseInOneReadAreOneEventEachAndTheCursorGoesHome) {
    auto [near, far] = taja::test::socket_pair();
    park_cursor();
    ReceiverThread receiver(far.fd());

    send_raw(near.fd(), "cu");
    Taken taken;
    EXPECT_TRUE(match_until([&] {
        take_pending(taken);
        return taken.knocks == 1 && taken.raises == 1;
    }));
    EXPECT_TRUE(cursor_home()) << screen().dump();

    near = net::Socket();
    Taken rest = take_until_ended(receiver, 10s);
    EXPECT_EQ(rest.knocks, 0);
    EXPECT_EQ(rest.raises, 0);
}

TEST_F(PeerEventsTest, TwoRaisesInOneReadAreDeliveredOneAfterTheOtherIsTaken) {
    auto [near, far] = taja::test::socket_pair();
    ReceiverThread receiver(far.fd());

    // The knock comes behind the second raise, which cannot be delivered
    // while the first is still pending.
    send_raw(near.fd(), "uuc");
    ASSERT_TRUE(match_until([] { return net::raise_flag.load() == 1; }));
    EXPECT_EQ(net::knock_flag.load(), 0);

    EXPECT_TRUE(net::take_event(net::raise_flag));
    ASSERT_TRUE(match_until([] { return net::raise_flag.load() == 1; }));
    EXPECT_TRUE(net::take_event(net::raise_flag));
    ASSERT_TRUE(match_until([] { return net::knock_flag.load() == 1; }));
    EXPECT_TRUE(net::take_event(net::knock_flag));

    near = net::Socket();
    Taken rest = take_until_ended(receiver, 10s);
    EXPECT_EQ(rest.knocks, 0);
    EXPECT_EQ(rest.raises, 0);
}

TEST_F(PeerEventsTest, BytesOtherThanEventsAreIgnoredAndTheEventsAroundThemCount) {
    auto [near, far] = taja::test::socket_pair();
    ReceiverThread receiver(far.fd());

    using namespace std::string_literals;
    send_raw(near.fd(), "c\0c"s);
    send_raw(near.fd(),
             "cxc"
             "C"
             "U"
             "\xff"
             "\x63\x75"s);
    near = net::Socket();

    Taken taken = take_until_ended(receiver, 10s);
    EXPECT_EQ(taken.knocks, 5);
    EXPECT_EQ(taken.raises, 1);
}

TEST_F(PeerEventsTest, MoreBytesThanOneReadTakesAreReadInPiecesAndEachCountsOnce) {
    auto [near, far] = taja::test::tcp_pair();
    // All 150 are queued before the receiver's first read, which can take
    // only 100 of them.
    Taken sent;
    for (int i = 0; i < 150; ++i) {
        bool knock = i % 3 != 1;
        net::send_event(near.fd(), knock ? net::kKnockEvent : net::kRaiseEvent);
        ++(knock ? sent.knocks : sent.raises);
    }
    near = net::Socket();

    ReceiverThread receiver(far.fd());
    Taken taken = take_until_ended(receiver, 10s);
    EXPECT_EQ(taken.knocks, sent.knocks);
    EXPECT_EQ(taken.raises, sent.raises);
}

TEST_F(PeerEventsTest, AHundredThousandEventsFromAFastSenderArriveExactlyToASlowTaker) {
    auto [near, far] = taja::test::tcp_pair();
    ReceiverThread receiver(far.fd());

    constexpr int kEvents = 100'000;
    Taken sent;
    std::thread sender([&sent, sock = std::move(near)] {
        // Runs of each kind of varied length, from a fixed pseudo-random
        // sequence.
        std::uint32_t state = 1;
        for (int i = 0; i < kEvents; ++i) {
            state = state * 214013u + 2531011u;
            bool knock = ((state >> 16) & 0x7FFF) % 5 < 2;
            net::send_event(sock.fd(), knock ? net::kKnockEvent : net::kRaiseEvent);
            ++(knock ? sent.knocks : sent.raises);
        }
    });

    Taken taken = take_until_ended(receiver, 120s, 997);
    sender.join();
    EXPECT_EQ(taken.knocks + taken.raises, kEvents);
    EXPECT_EQ(taken.knocks, sent.knocks);
    EXPECT_EQ(taken.raises, sent.raises);
}

TEST_F(PeerEventsTest, WhenThePeerGoesTheLeaveComesAfterWhatArrivedAndTheCursorStays) {
    struct Ending {
        const char* name;
        bool tcp;
        void (*end)(net::Socket&);
    };
    for (Ending ending : {
             Ending{"local pair closed", false, [](net::Socket& s) { s = net::Socket(); }},
             Ending{"tcp closed", true, [](net::Socket& s) { s = net::Socket(); }},
             Ending{"tcp reset", true, taja::test::close_with_reset},
             Ending{"tcp half-closed", true, [](net::Socket& s) { ::shutdown(s.fd(), SHUT_WR); }},
         }) {
        SCOPED_TRACE(ending.name);
        net::clear_events();
        auto [near, far] = ending.tcp ? taja::test::tcp_pair() : taja::test::socket_pair();
        ReceiverThread receiver(far.fd());

        // One raise delivered and left pending, as if the match had not
        // looked yet: the leave waits behind it.
        net::send_event(near.fd(), net::kRaiseEvent);
        ASSERT_TRUE(match_until([] { return net::raise_flag.load() == 1; }));
        park_cursor();
        ending.end(near);
        EXPECT_FALSE(match_until([&] { return net::leave_flag.load() == 1; }, 200ms));

        EXPECT_TRUE(net::take_event(net::raise_flag));
        EXPECT_TRUE(match_until([&] { return receiver.ended(); }));
        EXPECT_TRUE(net::take_event(net::leave_flag));
        EXPECT_EQ(net::knock_flag.load(), 0);
        expect_cursor_still_parked();
    }
}

TEST_F(PeerEventsTest, AReceiverOnAConnectionNeverMadeReportsTheRivalGoneAtOnce) {
    park_cursor();
    {
        net::Socket unconnected(::socket(AF_INET, SOCK_STREAM, 0));
        ReceiverThread receiver(unconnected.fd());
        EXPECT_TRUE(match_until([&] { return receiver.ended(); }));
        EXPECT_TRUE(net::take_event(net::leave_flag));
    }
    {
        ReceiverThread receiver(-1);  // no socket at all
        EXPECT_TRUE(match_until([&] { return receiver.ended(); }));
        EXPECT_TRUE(net::take_event(net::leave_flag));
    }
    EXPECT_EQ(net::knock_flag.load(), 0);
    EXPECT_EQ(net::raise_flag.load(), 0);
    expect_cursor_still_parked();
}

TEST(SendEvent, SendingToAPeerThatHasGoneReturnsAndTheProcessLivesOn) {
    // Sending on a connection whose peer has gone raises SIGPIPE, which ends
    // the process unless the send asks it not to.
    std::signal(SIGPIPE, SIG_DFL);
    for (bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "tcp" : "local pair");
        auto [near, far] = tcp ? taja::test::tcp_pair() : taja::test::socket_pair();
        far = net::Socket();
        // Over TCP the first sends still succeed locally; the peer's reset
        // makes a later one fail.
        bool failed = false;
        for (int i = 0; i < 1000 && !failed; ++i) {
            net::send_event(near.fd(), net::kKnockEvent);
            failed = net::send_bytes(near.fd(), &net::kRaiseEvent, 1) < 0;
        }
        EXPECT_TRUE(failed) << "no send ever failed, so the gone peer was not tried";
    }
}

}  // namespace
