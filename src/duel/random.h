// The program's own random sequence. Both peers must draw the same values in
// the same order, also when they run builds for different platforms, so the
// program carries its generator rather than using the C library's `rand`,
// which differs between platforms. It is the classic linear congruential
// `rand`, never seeded: every run draws the same sequence.
#pragma once

namespace duel {

// The next value, 0 to 32767. Only the main thread draws.
int next_random();

// While one stands, the draws come from the generator seeded afresh, from
// the system's randomness: for a practice match, which nobody else must
// draw alike. The shared sequence is set aside, and comes back as it was.
class FreshRandom {
  public:
    FreshRandom();
    ~FreshRandom();
    FreshRandom(const FreshRandom&) = delete;
    FreshRandom& operator=(const FreshRandom&) = delete;

  private:
    unsigned saved_;
};

// Puts the generator back to its state at program start. For tests only:
// the program itself never restarts the sequence.
void reset_random();

}  // namespace duel
