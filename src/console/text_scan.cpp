#include "console/text_scan.h"

namespace console {

namespace {
// A parameter run longer than this is not a key a terminal sends.
constexpr int kMaxSequence = 16;
}  // namespace

EscapeScanner::Step EscapeScanner::feed(std::uint8_t b) {
    switch (state_) {
        case State::escape:
            if (b == '[' || b == 'O') {
                state_ = b == '[' ? State::csi : State::ss3;
                length_ = 0;
                number_ = 0;
                final_ = 0;
                return Step::more;
            }
            break;  // ESC then anything else: the ESC stood alone
        case State::csi:
        case State::ss3:
            if (b >= 0x40 && b <= 0x7e) {  // final byte: the sequence is whole
                state_ = State::none;
                final_ = b;
                return Step::done;
            }
            if (state_ == State::csi && b >= 0x20 && b <= 0x3f && ++length_ <= kMaxSequence) {
                // Parameter or intermediate byte; a separator makes the
                // number one that no mark has.
                const bool digit = b >= '0' && b <= '9' && number_ >= 0 && number_ < 100000;
                number_ = digit ? number_ * 10 + (b - '0') : -1;
                return Step::more;
            }
            break;
        case State::none:
            break;
    }
    state_ = State::none;
    return Step::broken;
}

Utf8Decoder::Step Utf8Decoder::feed(std::uint8_t b) {
    if (need_ == 0) {
        length_ = 0;
        bytes_[length_++] = static_cast<char>(b);
        lo_ = 0x80;
        hi_ = 0xBF;
        if (b < 0x80) {
            code_ = b;
            return Step::done;
        }
        if (b >= 0xC2 && b <= 0xDF) {
            need_ = 1;
            code_ = b & 0x1Fu;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need_ = 2;
            code_ = b & 0x0Fu;
            if (b == 0xE0) lo_ = 0xA0;  // shorter forms are overlong
            if (b == 0xED) hi_ = 0x9F;  // D800..DFFF are surrogates
        } else if (b >= 0xF0 && b <= 0xF4) {
            need_ = 3;
            code_ = b & 0x07u;
            if (b == 0xF0) lo_ = 0x90;  // overlong
            if (b == 0xF4) hi_ = 0x8F;  // beyond U+10FFFF
        } else {
            return Step::malformed;  // a continuation byte, C0, C1, F5..FF
        }
        return Step::more;
    }
    if (b < lo_ || b > hi_) {
        need_ = 0;
        return Step::broken;
    }
    bytes_[length_++] = static_cast<char>(b);
    code_ = (code_ << 6) | (b & 0x3Fu);
    lo_ = 0x80;
    hi_ = 0xBF;
    return --need_ == 0 ? Step::done : Step::more;
}

}  // namespace console
