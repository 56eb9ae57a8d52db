// The key decoder turns terminal input into the console's key bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/keys.h"

namespace {

using console::KeyDecoder;

std::vector<int> keys_of(KeyDecoder& d, const std::string& bytes) {
    std::vector<int> out;
    for (unsigned char b : bytes) {
        d.feed(b);
        while (d.has_key()) out.push_back(d.take_key());
    }
    return out;
}

std::vector<int> decode(const std::string& bytes) {
    KeyDecoder d;
    return keys_of(d, bytes);
}

const std::vector<int> kUp = {224, 72};
const std::vector<int> kDown = {224, 80};

TEST(KeyDecoder, ArrowsInBothFormsBecomeTheConsolesTwoBytes) {
    EXPECT_EQ(decode("\x1b[A"), kUp);
    EXPECT_EQ(decode("\x1b[B"), kDown);
    EXPECT_EQ(decode("\x1b[D"), (std::vector<int>{224, 75}));
    EXPECT_EQ(decode("\x1b[C"), (std::vector<int>{224, 77}));
    EXPECT_EQ(decode("\x1bOA"), kUp);
    EXPECT_EQ(decode("\x1bOB"), kDown);
    EXPECT_EQ(decode("\x1b[1;5B"), kDown) << "modified arrows still move";
}

TEST(KeyDecoder, PlainBytesPassThroughOneByOne) {
    EXPECT_EQ(decode("HP h p"), (std::vector<int>{'H', 'P', ' ', 'h', ' ', 'p'}));
    EXPECT_EQ(decode("\r\x7f"), (std::vector<int>{'\r', 0x7f}));
    // UTF-8 Hangul passes through as its bytes.
    EXPECT_EQ(decode("\xea\xb0\x80"), (std::vector<int>{0xea, 0xb0, 0x80}));
}

TEST(KeyDecoder, UnknownSequencesAreConsumedWholeAndNothingAfterIsLost) {
    EXPECT_EQ(decode("\x1b[3~P"), (std::vector<int>{'P'}));      // Delete key
    EXPECT_EQ(decode("\x1b[15;2~ "), (std::vector<int>{' '}));   // Shift+F5
    EXPECT_EQ(decode("\x1bOPH"), (std::vector<int>{'H'}));       // F1
    EXPECT_EQ(decode("\x1b[200~x"), (std::vector<int>{'x'}));    // bracketed paste start
    // A byte that cannot belong to the sequence ends it and counts.
    EXPECT_EQ(decode("\x1b[1\rP"), (std::vector<int>{'\r', 'P'}));
    EXPECT_EQ(decode("\x1b[1\x1b[B"), kDown);
}

TEST(KeyDecoder, AnOverlongSequenceDoesNotSwallowWhatFollows) {
    std::string junk = "\x1b[" + std::string(40, '1') + "P";
    std::vector<int> keys = decode(junk);
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.back(), 'P');
}

TEST(KeyDecoder, LoneEscapeWaitsThenBecomesAKeyOnFlush) {
    KeyDecoder d;
    EXPECT_TRUE(keys_of(d, "\x1b").empty());
    EXPECT_TRUE(d.awaiting_escape());
    d.flush();
    ASSERT_TRUE(d.has_key());
    EXPECT_EQ(d.take_key(), 27);
    EXPECT_EQ(keys_of(d, "P"), (std::vector<int>{'P'}));
}

TEST(KeyDecoder, EscapeFollowedByAnOrdinaryKeyGivesBoth) {
    EXPECT_EQ(decode("\x1bP"), (std::vector<int>{27, 'P'}));
    EXPECT_EQ(decode("\x1b\x1b[A"), (std::vector<int>{27, 224, 72}));
}

TEST(KeyDecoder, SequenceSplitAcrossReadsCarriesOver) {
    KeyDecoder d;
    EXPECT_TRUE(keys_of(d, "\x1b").empty());
    EXPECT_TRUE(keys_of(d, "[").empty());
    EXPECT_EQ(keys_of(d, "B"), kDown);
    EXPECT_TRUE(keys_of(d, "\x1bO").empty());
    EXPECT_EQ(keys_of(d, "A"), kUp);
}

TEST(KeyDecoder, FlushDropsACutOffSequence) {
    KeyDecoder d;
    keys_of(d, "\x1b[1;");
    d.flush();
    EXPECT_FALSE(d.has_key());
    EXPECT_EQ(keys_of(d, "H"), (std::vector<int>{'H'}));
}

}  // namespace
