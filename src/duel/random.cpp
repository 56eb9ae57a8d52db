#include "duel/random.h"

#include <cstdint>
#include <random>

namespace duel {

namespace {

// The state as an unseeded C library generator starts it (as after srand(1)).
constexpr std::uint32_t kInitialState = 1;

std::uint32_t random_state = kInitialState;  // main thread only

}  // namespace

int next_random() {
    // Unsigned arithmetic wraps modulo 2^32, as the classic generator does.
    random_state = random_state * 214013u + 2531011u;
    return static_cast<int>((random_state >> 16) & 0x7FFFu);
}

void reset_random() { random_state = kInitialState; }

FreshRandom::FreshRandom() : saved_(random_state) { random_state = std::random_device{}(); }

FreshRandom::~FreshRandom() { random_state = saved_; }

}  // namespace duel
