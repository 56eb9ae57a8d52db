// The two small scanners that every reader of terminal bytes shares: the
// key decoder, the line editor and the screen model.
#pragma once

#include <cstdint>
#include <string_view>

namespace console {

// An escape sequence as a terminal sends it for a key: ESC [ parameters
// final, or ESC O final. Fed the bytes after the ESC one at a time.
class EscapeScanner {
  public:
    enum class Step {
        more,    // the byte belongs to the sequence, which goes on
        done,    // the byte ended the sequence: final_byte() holds it
        broken,  // the byte belongs to no sequence: the sequence is dropped,
                 // and the byte is to be taken as it is
    };

    void start() { state_ = State::escape; }  // an ESC has arrived
    void reset() { state_ = State::none; }
    bool active() const { return state_ != State::none; }
    // Only the ESC so far.
    bool awaiting() const { return state_ == State::escape; }
    Step feed(std::uint8_t b);
    std::uint8_t final_byte() const { return final_; }
    // The sequence just ended is the terminal's mark of the start (ESC [
    // 200 ~) or the end (ESC [ 201 ~) of pasted text (bracketed paste).
    bool paste_start() const { return final_ == '~' && number_ == 200; }
    bool paste_end() const { return final_ == '~' && number_ == 201; }

  private:
    enum class State { none, escape, csi, ss3 };
    State state_ = State::none;
    int length_ = 0;  // parameter and intermediate bytes so far
    int number_ = 0;  // the digits of a CSI sequence's parameters, as one number
    std::uint8_t final_ = 0;
};

// UTF-8, strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
// Fed one byte at a time; a character split across reads carries over.
class Utf8Decoder {
  public:
    enum class Step {
        more,       // a character has begun and goes on
        done,       // a whole character: code() and bytes()
        malformed,  // the byte can begin no character
        broken,     // the byte cannot go on the character begun: that
                    // character is malformed, and the byte is to be fed again
    };

    Step feed(std::uint8_t b);
    bool in_char() const { return need_ > 0; }
    void reset() { need_ = 0; }
    std::uint32_t code() const { return code_; }
    std::string_view bytes() const { return {bytes_, static_cast<std::size_t>(length_)}; }

  private:
    char bytes_[4] = {};
    int length_ = 0;
    int need_ = 0;  // bytes still to come
    std::uint32_t code_ = 0;
    std::uint8_t lo_ = 0x80;  // the range of the next byte (overlong forms
    std::uint8_t hi_ = 0xBF;  // and surrogates are kept out this way)
};

// CP949's double-byte characters: a lead byte, then a trail byte.
inline bool is_cp949_lead(std::uint8_t b) { return b >= 0x81 && b <= 0xFE; }
inline bool is_cp949_trail(std::uint8_t b) {
    return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
}

}  // namespace console
