#include "duel/tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "console/encoding.h"

namespace {

std::string cp949(const char* utf8) { return console::Converter("UTF-8", "CP949").convert(utf8); }

// The code points of a CP949 text, read back through iconv.
std::u32string code_points(const char* text) {
    std::string utf8 = console::Converter("CP949", "UTF-8").convert(text);
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : c & (0xFF >> (n + 1));
        for (int k = 1; k < n && i + k < utf8.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out.push_back(cp);
        i += n;
    }
    return out;
}

// Every entry is whole Hangul syllables only, two CP949 bytes each.
void expect_hangul(const char* text) {
    std::u32string cps = code_points(text);
    EXPECT_EQ(cps.size() * 2, std::strlen(text));
    for (char32_t cp : cps) {
        EXPECT_GE(cp, U'\uAC00');
        EXPECT_LE(cp, U'\uD7A3');
    }
}

// The bytes after the text, up to the end of the slot, are all zero.
void expect_zero_padded(const char* slot, std::size_t size) {
    std::size_t len = strnlen(slot, size);
    ASSERT_LT(len, size) << "no terminating zero in the slot";
    for (std::size_t i = len; i < size; ++i) EXPECT_EQ(slot[i], '\0') << "byte " << i;
}

TEST(Tables, SlotsHaveTheirFixedSizes) {
    EXPECT_EQ(sizeof duel::word_table, 2400u);
    EXPECT_EQ(sizeof duel::word_table[0], 50u);
    EXPECT_EQ(sizeof duel::name_table, 80u);
    EXPECT_EQ(sizeof duel::name_table[0], 10u);
}

TEST(Tables, FortyEightDistinctHangulWordsOfFourSixOrEightBytes) {
    std::set<std::string> distinct;
    std::map<std::size_t, int> by_length;
    for (int i = 0; i < duel::kWordCount; ++i) {
        SCOPED_TRACE(i);
        const char* word = duel::word_table[i];
        expect_zero_padded(word, duel::kWordSlot);
        expect_hangul(word);
        distinct.insert(word);
        ++by_length[std::strlen(word)];
    }
    EXPECT_EQ(distinct.size(), 48u);
    EXPECT_EQ(by_length, (std::map<std::size_t, int>{{4, 19}, {6, 17}, {8, 12}}));
}

TEST(Tables, FirstAndLastWords) {
    EXPECT_EQ(std::string(duel::word_table[0]), cp949("안녕"));
    EXPECT_EQ(std::string(duel::word_table[47]), cp949("오들오들"));
    // A word that begins another is still a word of its own.
    EXPECT_EQ(std::string(duel::word_table[2]), cp949("기다"));
    EXPECT_EQ(std::string(duel::word_table[39]), cp949("기다리다"));
}

TEST(Tables, EightHangulNamesOfTwoToEightBytes) {
    std::set<std::string> distinct;
    for (int i = 0; i < duel::kNameCount; ++i) {
        SCOPED_TRACE(i);
        const char* name = duel::name_table[i];
        expect_zero_padded(name, duel::kNameSlot);
        expect_hangul(name);
        std::size_t len = std::strlen(name);
        EXPECT_TRUE(len == 2 || len == 4 || len == 6 || len == 8) << len;
        distinct.insert(name);
    }
    EXPECT_EQ(distinct.size(), 8u);
    EXPECT_EQ(std::string(duel::name_table[7]), cp949("바다거북"));
}

}  // namespace
