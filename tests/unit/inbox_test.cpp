// The match's inbox between the threads that post into it and the match that
// takes: first in, first out, nothing lost, a taker that sleeps until
// something comes. Also run under wine, where a lost wake-up once left the
// match asleep with work pending.
#include "duel/inbox.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using duel::Arrival;
using duel::TypedLine;
using net::PeerEvent;

TEST(Inbox, EventsAndLinesFromTwoThreadsArriveWholeAndEachInItsOwnOrder) {
    duel::Inbox inbox;
    constexpr int kEach = 20'000;
    std::thread receiver([&] {
        for (int i = 0; i < kEach; ++i) inbox.post(i % 2 ? PeerEvent::knock : PeerEvent::raise);
    });
    std::thread reader([&] {
        for (int i = 0; i < kEach; ++i) inbox.post(TypedLine{std::to_string(i), {}, {}});
    });
    int events = 0;
    int lines = 0;
    for (int n = 0; n < 2 * kEach; ++n) {
        Arrival a = inbox.take();
        if (const auto* event = std::get_if<PeerEvent>(&a)) {
            ASSERT_EQ(*event, events % 2 ? PeerEvent::knock : PeerEvent::raise) << events;
            ++events;
        } else {
            ASSERT_EQ(std::get<TypedLine>(a).text, std::to_string(lines)) << lines;
            ++lines;
        }
    }
    receiver.join();
    reader.join();
    EXPECT_EQ(events, kEach);
    EXPECT_EQ(lines, kEach);
    EXPECT_FALSE(inbox.take_within(1ms)) << "nothing more than was posted";
}

TEST(Inbox, ATakerAsleepOnAnEmptyInboxWakesForEachPost) {
    duel::Inbox inbox;
    duel::Inbox back;
    // Hand a turn back and forth: a post lost between the taker's look and
    // its sleep would leave both asleep until the test's timeout.
    std::thread other([&] {
        for (int i = 0; i < 5'000; ++i) {
            inbox.take();
            back.post(PeerEvent::raise);
        }
    });
    for (int i = 0; i < 5'000; ++i) {
        inbox.post(PeerEvent::knock);
        ASSERT_TRUE(back.take_within(10s)) << i;
    }
    other.join();
}

}  // namespace
