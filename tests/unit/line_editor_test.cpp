#include "console/line_editor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using console::Framing;
using console::LineEditor;

// Feeds `bytes` and answers the lines that Enter completed, in order.
std::vector<std::string> type(LineEditor& ed, std::string_view bytes) {
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (ed.feed(static_cast<std::uint8_t>(c))) lines.push_back(ed.take_line());
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineEditor, KeepsTypedTextAndItsWidthInCells) {
    LineEditor ed;
    EXPECT_TRUE(type(ed, "ab 안녕").empty());
    EXPECT_EQ(ed.text(), "ab 안녕");
    EXPECT_EQ(ed.width(), 3 + 4);  // ASCII one cell each, Hangul two

    LineEditor wide;
    type(wide, "Ａ😀ㄱ漢");  // fullwidth, emoji, compatibility jamo, hanja
    EXPECT_EQ(wide.width(), 8);
    LineEditor narrow;
    type(narrow, "é─ж");  // Latin, box drawing, Cyrillic
    EXPECT_EQ(narrow.width(), 3);
}

TEST(LineEditor, BackspaceRemovesTheLastWholeCharacter) {
    LineEditor ed;
    type(ed, "a안녕");
    type(ed, "\x7f");  // DEL
    EXPECT_EQ(ed.text(), "a안");
    EXPECT_EQ(ed.width(), 3);
    type(ed, "\x08");  // ^H
    EXPECT_EQ(ed.text(), "a");
    EXPECT_EQ(ed.width(), 1);
    type(ed, "\x7f\x7f\x08");  // more than there is: nothing happens
    EXPECT_EQ(ed.text(), "");
    EXPECT_EQ(ed.width(), 0);
    type(ed, "😀\x7f기");
    EXPECT_EQ(ed.text(), "기");
    EXPECT_EQ(ed.width(), 2);
}

TEST(LineEditor, EnterEndsTheLineAndCrLfCountsOnce) {
    LineEditor cr;
    EXPECT_EQ(type(cr, "안녕\r기다\r"), (Lines{"안녕", "기다"}));
    LineEditor lf;
    EXPECT_EQ(type(lf, "안녕\n기다\n"), (Lines{"안녕", "기다"}));
    LineEditor crlf;
    EXPECT_EQ(type(crlf, "안녕\r\n기다\r\n"), (Lines{"안녕", "기다"}));
    // Two Enters in a row are two lines, the second empty; so are LF CR.
    LineEditor twice;
    EXPECT_EQ(type(twice, "a\r\rb\n\r"), (Lines{"a", "", "b", ""}));

    // The LF of a CR LF pair may come in the next read, after the line was
    // taken: still one Enter.
    LineEditor split;
    EXPECT_EQ(type(split, "가\r"), Lines{"가"});
    EXPECT_EQ(type(split, "\n나\r"), Lines{"나"});
    EXPECT_EQ(split.text(), "");
}

TEST(LineEditor, IgnoresOtherControlBytes) {
    LineEditor ed;
    std::string controls;
    for (int b = 0; b < 0x20; ++b) {
        if (b != '\r' && b != '\n' && b != 0x08 && b != 0x1b)
            controls.push_back(static_cast<char>(b));
    }
    EXPECT_TRUE(type(ed, "가" + controls + "나").empty());
    EXPECT_EQ(ed.text(), "가나");
    // C1 controls (U+0080..U+009F) would act on the terminal if echoed.
    type(ed,
         "\xC2\x85\xC2\x9B"
         "다");
    EXPECT_EQ(ed.text(), "가나다");
    EXPECT_EQ(ed.width(), 6);
}

TEST(LineEditor, ConsumesEscapeSequencesWithoutSwallowingTheNextKey) {
    LineEditor ed;
    type(ed, "가\x1b[A\x1b[D\x1bOP\x1b[1;5C\x1b[200~\x1b[3~나");  // arrows, F1, Ctrl+Right, paste
                                                                  // mark, Delete
    EXPECT_EQ(ed.text(), "가나");

    // ESC and a byte that begins no sequence: the ESC is the Escape key and
    // the byte is typed.
    LineEditor alt;
    type(alt,
         "\x1b"
         "a\x1b"
         "안\x1b\x1b[B"
         "b");
    EXPECT_EQ(alt.text(), "a안b");

    // A byte that cannot continue a sequence ends it and counts as typed:
    // here a syllable, and the CR that ends the line.
    LineEditor cut;
    EXPECT_EQ(type(cut, "\x1b[12안\x1bO\r"), Lines{"안"});

    // A parameter run no terminal sends is not a sequence for ever.
    LineEditor longrun;
    type(longrun, "\x1b[" + std::string(16, '1') + "9");
    EXPECT_EQ(longrun.text(), "9");

    // A sequence split across reads carries over.
    LineEditor split;
    type(split, "가\x1b");
    EXPECT_TRUE(split.in_escape());
    type(split, "[");
    type(split, "1;2");
    type(split, "A나");
    EXPECT_EQ(split.text(), "가나");
    EXPECT_FALSE(split.in_escape());

    // When input pauses after a lone ESC, the reader ends the sequence, and a
    // '[' typed later is text.
    LineEditor lone;
    type(lone, "\x1b");
    lone.end_escape();
    type(lone, "[A");
    EXPECT_EQ(lone.text(), "[A");
}

TEST(LineEditor, CarriesACharacterSplitAcrossReads) {
    LineEditor ed;
    const std::string an = "안";
    type(ed, an.substr(0, 1));
    type(ed, an.substr(1, 1));
    EXPECT_EQ(ed.text(), "");
    EXPECT_EQ(ed.width(), 0);
    type(ed, an.substr(2));
    EXPECT_EQ(ed.text(), "안");
    EXPECT_EQ(ed.width(), 2);
}

TEST(LineEditor, MarksMalformedInputWithOneQuestionMarkAndKeepsWhatFollows) {
    struct Case {
        std::string_view in;
        std::string_view text;
    };
    const Case cases[] = {
        {"\x80\x80가", "?가"},      // continuation bytes with no lead
        {"가\xEC\x95나", "가?나"},  // a syllable cut short
        {"\xEC"
         "a",
         "?a"},                 // cut short by ASCII
        {"\xC0\x80", "?"},      // overlong NUL
        {"\xE0\x80\xAF", "?"},  // overlong '/'
        {"\xED\xA0\x80"
         "b",
         "?b"},                     // a surrogate
        {"\xF4\x90\x80\x80", "?"},  // beyond U+10FFFF
        {"\xFE\xFF", "??"},         // never part of UTF-8
        {"\xEC\x95\x1b[A", "?"},    // cut short by an escape sequence
        {"\xEC\x95\r", "?"},        // cut short by Enter (line taken below)
    };
    for (const Case& c : cases) {
        LineEditor ed;
        Lines lines = type(ed, c.in);
        std::string got = lines.empty() ? ed.text() : lines.front();
        EXPECT_EQ(got, c.text) << "input of " << c.in.size() << " bytes";
    }
    LineEditor ed;
    type(ed, "가\xEC\x95");
    type(ed, "나\x7f\x7f");  // the mark is a character like any other
    EXPECT_EQ(ed.text(), "가");
    EXPECT_EQ(ed.width(), 2);
}

TEST(LineEditor, DropsCharactersOfNoWidth) {
    LineEditor ed;
    // Combining acute accent, zero-width space, zero-width joiner, variation
    // selector 16, byte order mark, a Hangul vowel jamo that would join.
    type(ed, "e\u0301안\u200B\u200D녕\uFE0F\uFEFF\u1161");
    EXPECT_EQ(ed.text(), "e안녕");
    EXPECT_EQ(ed.width(), 5);
}

TEST(LineEditor, TailIsTheLongestEndOfWholeCharactersThatFits) {
    LineEditor ed;
    type(ed, "abc안녕");
    EXPECT_EQ(ed.tail(100).text, "abc안녕");
    EXPECT_EQ(ed.tail(100).width, 7);
    EXPECT_EQ(ed.tail(4).text, "안녕");
    EXPECT_EQ(ed.tail(3).text, "녕");  // half a syllable is never shown
    EXPECT_EQ(ed.tail(3).width, 2);
    EXPECT_EQ(ed.tail(1).text, "");
    EXPECT_EQ(ed.tail(0).width, 0);
    EXPECT_EQ(ed.tail(5).text, "c안녕");
}

TEST(LineEditor, StopsGrowingAtTheLimitWithoutCuttingACharacter) {
    LineEditor ed;
    std::string many;
    for (int i = 0; i < 400; ++i) many += "가";  // 1200 bytes of UTF-8
    type(ed, many);
    EXPECT_LE(ed.text().size(), LineEditor::kMaxBytes);
    EXPECT_EQ(ed.text().size() % 3, 0u);
    EXPECT_EQ(ed.width(), static_cast<int>(ed.text().size() / 3 * 2));
    type(ed, "\x7f");  // the line still edits normally
    const std::string kept = many.substr(0, ed.text().size());
    EXPECT_EQ(type(ed, "\r"), Lines{kept});
}

TEST(LineEditor, ClearDropsTheLineAndAnythingFedInPart) {
    LineEditor ed;
    type(ed, "가\xEC\x95");
    ed.clear();
    type(ed, "a");
    EXPECT_EQ(ed.text(), "a");
    type(ed, "\x1b[");
    ed.clear();
    type(ed, "A");
    EXPECT_EQ(ed.text(), "A");
}

TEST(LineEditor, ReadsKoreanDoubleByteTerminals) {
    EXPECT_EQ(console::framing_of("CP949"), Framing::double_byte);
    EXPECT_EQ(console::framing_of("EUC-KR"), Framing::double_byte);
    EXPECT_EQ(console::framing_of("UTF-8"), Framing::utf8);

    LineEditor ed(Framing::double_byte);
    // "안녕" in CP949, then "a", then 똠 (0x8C 0x63: a trail byte in the ASCII range).
    type(ed,
         "\xBE\xC8\xB3\xE7"
         "a\x8C\x63");
    EXPECT_EQ(ed.text(),
              "\xBE\xC8\xB3\xE7"
              "a\x8C\x63");
    EXPECT_EQ(ed.width(), 7);
    type(ed, "\x7f\x7f");
    EXPECT_EQ(ed.text(), "\xBE\xC8\xB3\xE7");
    // A lead byte that no trail follows, and bytes that lead nothing.
    type(ed, "\xBE\x1b[Ab\x80\xFF");
    EXPECT_EQ(ed.text(), "\xBE\xC8\xB3\xE7?b??");
    EXPECT_EQ(type(ed, "\xB3\r"), Lines{"\xBE\xC8\xB3\xE7?b???"});
}

// Whatever arrives, the line stays well formed: valid UTF-8 of printable
// characters, within the limit, each character one or two cells, and taken
// apart by Backspace one whole character at a time down to nothing.
TEST(LineEditor, ArbitraryInputLeavesAWellFormedLine) {
    std::uint32_t state = 12345;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    };
    // Bytes weighted towards the interesting ones.
    const std::uint8_t pool[] = {'a', ' ',  '\r', '\n', 0x7f, 0x08, 0x1b, '[',  'O',  'A',  '1',
                                 ';', 0xEC, 0x95, 0x88, 0xC2, 0x80, 0xBF, 0xF0, 0x9F, 0xFF, 0x00};
    LineEditor ed;
    for (int i = 0; i < 100000; ++i) {
        std::uint8_t b = (next() & 1) ? pool[next() % sizeof pool] : next();
        if (ed.feed(b)) ed.take_line();
        ASSERT_LE(ed.text().size(), LineEditor::kMaxBytes);
        if (i % 101 != 0) continue;

        const std::string& t = ed.text();
        std::size_t chars = 0;
        for (std::size_t k = 0; k < t.size(); ++chars) {
            auto lead = static_cast<std::uint8_t>(t[k]);
            std::size_t len = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            ASSERT_TRUE(lead >= 0x20 && lead != 0x7f && (lead < 0x80 || lead >= 0xC2)) << i;
            ASSERT_LE(k + len, t.size()) << i;
            for (std::size_t j = 1; j < len; ++j) {
                ASSERT_EQ(static_cast<std::uint8_t>(t[k + j]) & 0xC0, 0x80) << i;
            }
            k += len;
        }
        ASSERT_EQ(ed.tail(ed.width()).text, t) << i;

        // Typed again, the line comes out the same; a line fed in part
        // (in the middle of a character or sequence) is left behind.
        LineEditor taken;
        type(taken, t);
        ASSERT_EQ(taken.text(), t) << i;
        ASSERT_EQ(taken.width(), ed.width()) << i;
        for (std::size_t c = 0; c < chars; ++c) {
            const std::string before = taken.text();
            const int width = taken.width();
            taken.feed(0x7f);
            ASSERT_TRUE(before.starts_with(taken.text())) << i;
            ASSERT_TRUE(width - taken.width() == 1 || width - taken.width() == 2) << i;
        }
        ASSERT_EQ(taken.text(), "") << i;
        ASSERT_EQ(taken.width(), 0) << i;
    }
}

}  // namespace
