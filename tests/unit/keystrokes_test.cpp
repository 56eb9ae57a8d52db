#include "duel/keystrokes.h"

#include <gtest/gtest.h>

#include <string>

#include "console/encoding.h"
#include "duel/tables.h"
#include "support/two_set.h"

namespace {

std::string cp949(const char* utf8) { return console::Converter("UTF-8", "CP949").convert(utf8); }

// Every table word counts as many keys as two-set typing it takes.
TEST(Keystrokes, TableWordsCountTheirTwoSetKeys) {
    console::Converter to_utf8("CP949", "UTF-8");
    for (const char* word : duel::word_table) {
        std::string keys = taja::test::two_set_keys(to_utf8.convert(word));
        EXPECT_EQ(duel::count_keystrokes(word), static_cast<int>(keys.size())) << keys;
    }
}

TEST(Keystrokes, MixedText) {
    // 의 ㅇ+ㅢ(2) 3, 자 2, Space, ㅋㅋ 2, Space, '1' '!', Enter.
    EXPECT_EQ(duel::count_keystrokes(cp949("의자 ㅋㅋ 1!\r")), 12);
    // 닭 ㄷ ㅏ ㄺ(2) 4, 값 ㄱ ㅏ ㅄ(2) 4, 쌌 ㅆ ㅏ ㅆ 3, 뭘 ㅁ ㅝ(2) ㄹ 4.
    EXPECT_EQ(duel::count_keystrokes(cp949("닭값쌌뭘")), 15);
    // Compound jamo alone take their two keys; plain ones and ㄲ one.
    EXPECT_EQ(duel::count_keystrokes(cp949("ㄳㅢㄲㅏ")), 6);
    EXPECT_EQ(duel::count_keystrokes("abc def"), 7);
    EXPECT_EQ(duel::count_keystrokes(""), 0);
    // A byte that is no CP949 character is one key, and spoils nothing after it.
    EXPECT_EQ(duel::count_keystrokes("\xFF" + cp949("안")), 1 + 3);
}

}  // namespace
