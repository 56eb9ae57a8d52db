#include "duel/typing_stats.h"

#include <cstdio>

#include "duel/keystrokes.h"

namespace duel {

namespace {

constexpr char kKeysLabel[] = "\xC5\xB8\xBC\xF6 ";  // "타수 "
// "타/분   정확도 "
constexpr char kPerMinuteAndAccuracy[] = "\xC5\xB8/\xBA\xD0   \xC1\xA4\xC8\xAE\xB5\xB5 ";
// "-   정확도 ": a 타수 that cannot be given
constexpr char kAccuracyLabel[] = "-   \xC1\xA4\xC8\xAE\xB5\xB5 ";
// "입력한 단어가 없습니다."
constexpr char kNoWord[] =
    "\xC0\xD4\xB7\xC2\xC7\xD1 \xB4\xDC\xBE\xEE\xB0\xA1 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";

}  // namespace

void TypingStats::entered(const TypedLine& line) {
    keystrokes_ += count_keystrokes(line.text) + 1;  // the Enter is a key too
    if (!first_key_ || line.first_key < *first_key_) first_key_ = line.first_key;
    if (line.enter > last_enter_) last_enter_ = line.enter;
    burst_ = burst_ || line.burst;
}

void TypingStats::word(bool hit) {
    ++words_;
    if (hit) ++hits_;
}

std::optional<int> TypingStats::keys_per_minute() const {
    if (!first_key_ || burst_) return std::nullopt;
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(last_enter_ - *first_key_);
    if (ms.count() <= 0) return std::nullopt;
    return static_cast<int>(keystrokes_ * 60'000 / ms.count());
}

std::optional<int> TypingStats::accuracy_percent() const {
    if (words_ == 0) return std::nullopt;
    return hits_ * 100 / words_;
}

std::string TypingStats::summary() const {
    std::optional<int> accuracy = accuracy_percent();
    if (!accuracy) return kNoWord;
    char buf[64];
    if (std::optional<int> speed = keys_per_minute()) {
        std::snprintf(buf, sizeof buf, "%s%d%s%d%%", kKeysLabel, *speed, kPerMinuteAndAccuracy,
                      *accuracy);
    } else {
        std::snprintf(buf, sizeof buf, "%s%s%d%%", kKeysLabel, kAccuracyLabel, *accuracy);
    }
    return buf;
}

}  // namespace duel
