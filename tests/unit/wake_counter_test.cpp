// Two threads hand a turn back and forth through two counters, as the match
// loop and a peer receiver do. A bump lost between a waiter's look and its
// sleep leaves both threads asleep, and the test's timeout reports it.
#include "net/wake_counter.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(WakeCounter, NoBumpIsLostInTenThousandHandOvers) {
    constexpr int kRounds = 10000;
    net::WakeCounter to_b;
    net::WakeCounter to_a;
    std::thread b([&] {
        for (int i = 0; i < kRounds; ++i) {
            to_b.wait_past(static_cast<std::uint32_t>(i));
            to_a.bump();
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        to_b.bump();
        to_a.wait_past(static_cast<std::uint32_t>(i));
    }
    b.join();
    EXPECT_EQ(to_a.value(), static_cast<std::uint32_t>(kRounds));
    EXPECT_EQ(to_b.value(), static_cast<std::uint32_t>(kRounds));
}

}  // namespace
