// 타수 and 정확도 from a fixed script of lines and the times of their keys.
#include "duel/typing_stats.h"

#include <gtest/gtest.h>

#include "console/encoding.h"

namespace {

using namespace std::chrono_literals;
using duel::Clock;
using duel::TypedLine;

std::string cp949(const std::string& utf8) {
    return console::Converter("UTF-8", "CP949").convert(utf8);
}
std::string utf8(const std::string& text) {
    return console::Converter("CP949", "UTF-8").convert(text);
}

TEST(TypingStats, KeystrokesPerMinuteFromTheFirstKeyToTheLastEnterAndHitsPerWord) {
    const Clock::time_point t0{};
    duel::TypingStats stats;
    // 사과 is 5 keys (ㅘ is two), 바다 읽다 11 (ㄺ is two, the blank one),
    // and each Enter 1: 18 keys in 4 s.
    stats.entered(TypedLine{cp949("사과"), t0, t0 + 2s});
    stats.word(true);
    stats.entered(TypedLine{cp949("바다 읽다"), t0 + 3s, t0 + 4s});
    stats.word(false);
    stats.word(true);
    EXPECT_EQ(stats.keys_per_minute(), 18 * 60 / 4);
    EXPECT_EQ(stats.accuracy_percent(), 66) << "two of three, in whole percent";
    EXPECT_EQ(utf8(stats.summary()), "타수 270타/분   정확도 66%");
}

TEST(TypingStats, NoWordNoFigureAndNoTimeNoSpeed) {
    duel::TypingStats none;
    EXPECT_EQ(none.keys_per_minute(), std::nullopt);
    EXPECT_EQ(none.accuracy_percent(), std::nullopt);
    EXPECT_EQ(utf8(none.summary()), "입력한 단어가 없습니다.");

    // Blank lines are keys, not words.
    const Clock::time_point t0{};
    none.entered(TypedLine{"", t0, t0 + 1s});
    EXPECT_EQ(utf8(none.summary()), "입력한 단어가 없습니다.");

    // A line pasted whole: its first key and its Enter came at once.
    duel::TypingStats pasted;
    pasted.entered(TypedLine{cp949("사과"), t0, t0});
    pasted.word(true);
    EXPECT_EQ(pasted.keys_per_minute(), std::nullopt);
    EXPECT_EQ(utf8(pasted.summary()), "타수 -   정확도 100%");

    // A line that came in one burst, its Enter a moment later, among typed
    // ones: the match has no 타수 a person typed.
    duel::TypingStats burst;
    burst.entered(TypedLine{cp949("사과"), t0, t0 + 2s});
    burst.entered(TypedLine{cp949("헤아리다 노랫가락"), t0 + 3s, t0 + 3040ms, true});
    EXPECT_EQ(burst.keys_per_minute(), std::nullopt);
}

}  // namespace
