#include "console/keys.h"

namespace console {

namespace {
constexpr std::uint8_t kEsc = 0x1b;
// A parameter run longer than this is not a key a terminal sends.
constexpr int kMaxSequence = 16;

int arrow_code(std::uint8_t final_byte) {
    switch (final_byte) {
        case 'A': return kArrowUp;
        case 'B': return kArrowDown;
        case 'C': return kArrowRight;
        case 'D': return kArrowLeft;
        default: return -1;
    }
}
}  // namespace

void KeyDecoder::emit(std::uint8_t b) {
    if (count_ == static_cast<int>(sizeof queue_)) return;  // caller is not draining; drop
    queue_[(head_ + count_) % sizeof queue_] = b;
    ++count_;
}

std::uint8_t KeyDecoder::take_key() {
    std::uint8_t b = queue_[head_];
    head_ = (head_ + 1) % static_cast<int>(sizeof queue_);
    --count_;
    return b;
}

void KeyDecoder::ground(std::uint8_t b) {
    if (b == kEsc) {
        state_ = State::escape;
    } else {
        emit(b);
    }
}

void KeyDecoder::feed(std::uint8_t b) {
    switch (state_) {
        case State::ground:
            ground(b);
            return;
        case State::escape:
            if (b == '[' || b == 'O') {
                state_ = b == '[' ? State::csi : State::ss3;
                sequence_length_ = 0;
                return;
            }
            // ESC followed by anything else: the ESC was a key by itself.
            emit(kEsc);
            state_ = State::ground;
            ground(b);
            return;
        case State::csi:
        case State::ss3:
            if (b >= 0x40 && b <= 0x7e) {  // final byte: the sequence is whole
                state_ = State::ground;
                if (int code = arrow_code(b); code >= 0) {
                    emit(kArrowPrefix);
                    emit(static_cast<std::uint8_t>(code));
                }
                return;
            }
            if (state_ == State::csi && b >= 0x20 && b <= 0x3f &&
                ++sequence_length_ <= kMaxSequence) {
                return;  // parameter or intermediate byte
            }
            // Not part of any sequence: drop the sequence, keep the byte.
            state_ = State::ground;
            ground(b);
            return;
    }
}

void KeyDecoder::flush() {
    if (state_ == State::escape) emit(kEsc);
    state_ = State::ground;
}

}  // namespace console
