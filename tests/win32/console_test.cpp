// The Win32 console text path: CP949 bytes as the console's UTF-16, and the
// console's UTF-16 back to CP949, through the system's code page 949 whatever
// code page the console has.
#include <gtest/gtest.h>

#include "console/encoding_win32.h"

namespace {

using console::from_wide;
using console::kCodePageCp949;
using console::to_wide;

TEST(Win32Text, BoardTextBecomesTheCharactersThePlayerReads) {
    // "┌─┐ 안녕 12" as the tables hold it.
    EXPECT_EQ(to_wide("\xA6\xA3\xA6\xA1\xA6\xA4 \xBE\xC8\xB3\xE7 12", kCodePageCp949),
              L"\u250C\u2500\u2510 \uC548\uB155 12");
    // A lead byte without its trail byte is one mark; what follows survives.
    EXPECT_EQ(to_wide("\xB0 abc", kCodePageCp949), L"? abc");
}

TEST(Win32Text, TypedCharactersWithoutAnExactCp949FormNeverBecomeALookAlike) {
    EXPECT_EQ(from_wide(L"\uC548\uB155", kCodePageCp949), "\xBE\xC8\xB3\xE7");
    // U+0101 has a "best fit" a in many code pages; an emoji (a surrogate
    // pair) has no form at all: each is one mark.
    EXPECT_EQ(from_wide(L"\u0101\uC548\U0001F600\uB155", kCodePageCp949),
              std::string("?\xBE\xC8?\xB3\xE7"));
}

}  // namespace
