// CP949 inside, the terminal's encoding outside.
#include <gtest/gtest.h>

#include <string>

#include "console/encoding.h"

namespace {

using console::Converter;

// The box-drawing characters and the Hangul that the game's tables use.
const char* const kSamples[] = {
    "┌", "┐", "└", "┘", "┏", "┓", "┗", "┛", "─",
    "안녕", "오들오들", "바다거북", "불가사리", "건몸달다", "점수 : ", "서버 IP를 입력하세요 : ",
};

TEST(Encoding, TableCharactersRoundTripBetweenUtf8AndCp949) {
    Converter to_cp949("UTF-8", "CP949");
    Converter to_utf8("CP949", "UTF-8");
    ASSERT_TRUE(to_cp949.ok());
    ASSERT_TRUE(to_utf8.ok());
    for (const char* s : kSamples) {
        std::string cp = to_cp949.convert(s);
        EXPECT_EQ(cp.find('?'), std::string::npos) << s << " has a CP949 form";
        EXPECT_EQ(to_utf8.convert(cp), s);
    }
}

TEST(Encoding, KnownCp949Bytes) {
    Converter to_cp949("UTF-8", "CP949");
    EXPECT_EQ(to_cp949.convert("┏─┓"), "\xA6\xAE\xA6\xA1\xA6\xAF");
    EXPECT_EQ(to_cp949.convert("점수"), "\xC1\xA1\xBC\xF6");
}

TEST(Encoding, CharacterWithoutCp949FormBecomesOneMarkAndTheRestSurvives) {
    Converter to_cp949("UTF-8", "CP949");
    Converter to_utf8("CP949", "UTF-8");
    // U+1F600 (an emoji) and U+0E01 (Thai) have no CP949 form.
    EXPECT_EQ(to_utf8.convert(to_cp949.convert("안\xF0\x9F\x98\x80녕")), "안?녕");
    EXPECT_EQ(to_utf8.convert(to_cp949.convert("\xE0\xB8\x81기다")), "?기다");
    // A tag character (U+E0030), which glibc would drop without a word.
    EXPECT_EQ(to_utf8.convert(to_cp949.convert("\xF3\xA0\x80\xB0!")), "?!");
}

TEST(Encoding, MalformedInputNeitherCrashesNorCorruptsWhatFollows) {
    Converter to_cp949("UTF-8", "CP949");
    Converter to_utf8("CP949", "UTF-8");
    EXPECT_EQ(to_utf8.convert(to_cp949.convert("\xFF기다")), "?기다");
    EXPECT_EQ(to_utf8.convert(to_cp949.convert("\xEA\xB0")), "?") << "cut-off sequence";
    EXPECT_EQ(to_utf8.convert(to_cp949.convert("\xEA\xB0 a")), "? a");
    // A CP949 lead byte without its trail byte does not eat the next character.
    EXPECT_EQ(to_utf8.convert("\xB0 abc"), "? abc");
    // A bad pair at the end, which glibc reports only after stepping over
    // it: marks end the text (one on POSIX, one a byte on Windows), and
    // nothing is read past it.
    const std::string bad_end = to_utf8.convert(std::string_view("a\x7F\xA2\xE8"));
    EXPECT_EQ(bad_end.rfind("a\x7F?", 0), 0u) << bad_end;
    EXPECT_EQ(bad_end.find_first_not_of('?', 2), std::string::npos) << bad_end;
}

TEST(Encoding, LongTextConvertsWhole) {
    Converter to_cp949("UTF-8", "CP949");
    Converter to_utf8("CP949", "UTF-8");
    std::string text;
    for (int i = 0; i < 500; ++i) text += "오들오들 ";
    EXPECT_EQ(to_utf8.convert(to_cp949.convert(text)), text);
}

}  // namespace
