// Two-set composition through the real line editor and libhangul: what a
// player presses on a keyboard with no input method becomes the table's
// words, byte for byte.
#include "console/hangul_composer.h"

#include <gtest/gtest.h>

#include <string>

#include "console/encoding.h"
#include "console/line_editor.h"
#include "duel/tables.h"
#include "support/two_set.h"

namespace {

using taja::test::two_set_keys;

class Composing : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(composer_, nullptr); }

    // Feeds keys; true if an Enter among them ended the line.
    bool type(std::string_view keys) {
        bool enter = false;
        for (char k : keys)
            enter = console::feed_key(editor_, composer_.get(), static_cast<std::uint8_t>(k));
        return enter;
    }
    std::string preedit() const { return composer_->preedit(); }

    console::LineEditor editor_{console::Framing::utf8};
    std::unique_ptr<console::HangulComposer> composer_ = console::make_hangul_composer("UTF-8");
};

TEST_F(Composing, EveryWordOfTheTableFromItsKeystrokes) {
    console::Converter to_utf8("CP949", "UTF-8");
    console::Converter to_cp949("UTF-8", "CP949");
    for (int i = 0; i < duel::kWordCount; ++i) {
        const std::string word = to_utf8.convert(duel::word_table[i]);
        const std::string keys = two_set_keys(word);
        ASSERT_TRUE(type(keys + "\r")) << keys;
        EXPECT_EQ(to_cp949.convert(editor_.take_line()), duel::word_table[i])
            << word << " " << keys;
    }
}

TEST_F(Composing, TheSyllableBeingComposedIsNotYetInTheLineAndBackspaceTakesOneJamo) {
    type("dkssu");  // 안녀
    EXPECT_EQ(editor_.text(), "안");
    EXPECT_EQ(preedit(), "녀");
    type("\x7f");
    EXPECT_EQ(preedit(), "ㄴ");
    type("\x7f\x7f");  // the jamo, then the whole syllable before it
    EXPECT_EQ(preedit(), "");
    EXPECT_EQ(editor_.text(), "");
    type("Rk Ej Qk Tk Wk gO gP");  // shifted keys
    ASSERT_TRUE(type("\r"));
    EXPECT_EQ(editor_.take_line(), "까 떠 빠 싸 짜 햬 혜");
}

TEST_F(Composing, OtherKeysEndTheSyllableAndEscapeSequencesComposeNothing) {
    // A digit, an arrow key (ESC [ A, whose A is no ㅁ) and text from an
    // input method or a paste, all on one line.
    ASSERT_TRUE(
        type("rk1dk\x1b[A"
             "나무rj\r"));
    EXPECT_EQ(editor_.take_line(), "가1아나무거");
    EXPECT_EQ(preedit(), "");
}

}  // namespace
