// Single keys for the menu and the waits that Esc ends, with the semantics
// of the DOS console's _getch: one byte per key, no echo, no waiting for
// Enter. Arrow keys come out in the console's two-byte form: 224, then 72
// up, 80 down, 75 left, 77 right.
#pragma once

#include <cstdint>

#include "console/text_scan.h"

namespace console {

inline constexpr std::uint8_t kArrowPrefix = 224;
inline constexpr std::uint8_t kArrowUp = 72;
inline constexpr std::uint8_t kArrowDown = 80;
inline constexpr std::uint8_t kArrowLeft = 75;
inline constexpr std::uint8_t kArrowRight = 77;

// Turns terminal input bytes into console key bytes. Pure: fed one byte at a
// time, it queues zero, one or two key bytes; a sequence split across reads
// carries over. Arrow keys arrive as ESC [ A .. D or ESC O A .. D (with or
// without parameters such as ESC [ 1 ; 5 A); every other escape sequence is
// consumed whole, and a byte that cannot belong to a sequence ends it and
// counts as a key of its own, so no sequence swallows the next key.
class KeyDecoder {
  public:
    void feed(std::uint8_t byte);
    // Ends an escape sequence that input stopped in the middle of: a lone
    // ESC becomes the key 27; a cut-off sequence is dropped.
    void flush();
    // True while an ESC has been seen and nothing after it yet.
    bool awaiting_escape() const { return escape_.awaiting(); }
    bool has_key() const { return count_ > 0; }
    std::uint8_t take_key();

  private:
    void emit(std::uint8_t b);
    void ground(std::uint8_t b);

    EscapeScanner escape_;
    std::uint8_t queue_[8] = {};
    int head_ = 0;
    int count_ = 0;
};

inline constexpr std::uint8_t kEscapeKey = 27;

}  // namespace console
