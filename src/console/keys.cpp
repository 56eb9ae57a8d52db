#include "console/keys.h"

namespace console {

namespace {
constexpr std::uint8_t kEsc = 0x1b;

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
        escape_.start();
    } else {
        emit(b);
    }
}

void KeyDecoder::feed(std::uint8_t b) {
    if (!escape_.active()) {
        ground(b);
        return;
    }
    const bool lone_escape = escape_.awaiting();
    switch (escape_.feed(b)) {
        case EscapeScanner::Step::more:
            return;
        case EscapeScanner::Step::done:
            if (int code = arrow_code(escape_.final_byte()); code >= 0) {
                emit(kArrowPrefix);
                emit(static_cast<std::uint8_t>(code));
            }
            return;
        case EscapeScanner::Step::broken:
            // ESC then anything else: the ESC was a key by itself. Any other
            // byte that cannot belong to the sequence drops it; the byte stays.
            if (lone_escape) emit(kEsc);
            ground(b);
            return;
    }
}

void KeyDecoder::flush() {
    if (escape_.awaiting()) emit(kEsc);
    escape_.reset();
}

}  // namespace console
