// The echo's idea of how wide each character is, against the C library's
// wcwidth in a UTF-8 locale, for every code point: a character counted
// narrower than the terminal draws it would push the echo past its field.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cwchar>
#include <string>

#include "console/line_editor.h"

namespace {

TEST(CharWidth, NoCharacterIsCountedNarrowerThanTheCLibraryDrawsIt) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    int narrower = 0;
    std::uint32_t first = 0;
    for (std::uint32_t cp = 0x20; cp <= 0x10FFFF; ++cp) {
        if (cp == 0x7F || (cp >= 0xD800 && cp <= 0xDFFF)) continue;
        const int library = ::wcwidth(static_cast<wchar_t>(cp));
        if (library <= 0) continue;
        console::LineEditor editor;
        std::string bytes;
        console::append_utf8(bytes, cp);
        for (char b : bytes) editor.feed(static_cast<std::uint8_t>(b));
        // A character the editor drops takes no cell at all.
        if (!editor.text().empty() && editor.width() < library && narrower++ == 0) {
            first = cp;
        }
    }
    EXPECT_EQ(narrower, 0) << "the first is U+" << std::hex << first;
    std::setlocale(LC_CTYPE, "C");
}

}  // namespace
