// The player's music file in each form a WAV file takes, read as the sound
// device takes it: 16-bit frames, in order, again after a rewind.
#include "sound/wav.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

void put16(std::string& s, std::uint16_t v) { s.append({char(v & 0xFF), char(v >> 8)}); }
void put32(std::string& s, std::uint32_t v) {
    put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(s, static_cast<std::uint16_t>(v >> 16));
}

// A WAVE file: its format chunk (`tag` 1 integer, 3 float; `extensible`
// puts the tag in the subformat), a chunk of another kind before the data,
// and `samples` as raw bytes.
std::string wave(std::uint16_t tag, int channels, int bits, const std::string& samples,
                 bool extensible = false) {
    std::string fmt;
    put16(fmt, extensible ? 0xFFFE : tag);
    put16(fmt, static_cast<std::uint16_t>(channels));
    put32(fmt, 8000);
    put32(fmt, static_cast<std::uint32_t>(8000 * channels * bits / 8));
    put16(fmt, static_cast<std::uint16_t>(channels * bits / 8));
    put16(fmt, static_cast<std::uint16_t>(bits));
    if (extensible) {
        put16(fmt, 22);
        put16(fmt, static_cast<std::uint16_t>(bits));
        put32(fmt, 3);
        put16(fmt, tag);
        fmt.append(14, '\0');
    }
    std::string body = "WAVEfmt ";
    put32(body, static_cast<std::uint32_t>(fmt.size()));
    body += fmt + "LIST";
    put32(body, 3);
    body += std::string("abc") + '\0' + "data";
    put32(body, static_cast<std::uint32_t>(samples.size()));
    body += samples;
    std::string file = "RIFF";
    put32(file, static_cast<std::uint32_t>(body.size()));
    return file + body;
}

// Every sample of `bytes` as the reader gives it, read twice (the second
// time after a rewind); nothing when it is no music.
std::optional<std::vector<std::int16_t>> samples_of(std::string bytes, int channels = 1) {
    std::FILE* f = ::fmemopen(bytes.data(), bytes.size(), "rb");
    sound::WavReader wav;
    std::optional<std::vector<std::int16_t>> out;
    if (wav.open(f) && wav.channels() == channels) {
        std::vector<std::int16_t> first(64), again(64);
        first.resize(wav.read(first.data(), 64 / channels) * channels);
        EXPECT_TRUE(wav.rewind());
        again.resize(wav.read(again.data(), 64 / channels) * channels);
        EXPECT_EQ(first, again);
        out = first;
    }
    std::fclose(f);
    return out;
}

std::string floats(std::initializer_list<float> v) {
    std::string s;
    for (float f : v) s.append(reinterpret_cast<const char*>(&f), 4);
    return s;
}

TEST(Wav, EachSampleFormatBecomesSixteenBitSamples) {
    using V = std::vector<std::int16_t>;
    EXPECT_EQ(samples_of(wave(1, 1, 8, std::string("\x80\xFF\x00", 3))), (V{0, 127 * 256, -32768}));
    EXPECT_EQ(samples_of(wave(1, 2, 16, std::string("\x01\x00\xFF\xFF", 4)), 2), (V{1, -1}));
    EXPECT_EQ(samples_of(wave(1, 1, 24, std::string("\x00\x34\x12\x00\x00\x80", 6))),
              (V{0x1234, -32768}));
    EXPECT_EQ(samples_of(wave(1, 1, 32, std::string("\x00\x00\x34\x12", 4))), (V{0x1234}));
    EXPECT_EQ(samples_of(wave(3, 1, 32, floats({0.5f, -2.0f, 1.0f}))), (V{16384, -32768, 32767}));
    EXPECT_EQ(samples_of(wave(3, 1, 32, floats({0.5f}), true)), (V{16384}));
    // A frame cut short at the end is left out.
    EXPECT_EQ(samples_of(wave(1, 2, 16, std::string("\x01\x00\x02\x00\x03", 5)), 2), (V{1, 2}));
}

TEST(Wav, AHeaderThatDoesNotAddUpIsNoMusic) {
    EXPECT_FALSE(samples_of("RIFF\0\0\0\0WAVE"));
    EXPECT_FALSE(samples_of(wave(2, 1, 16, "\0\0")));  // ADPCM
    EXPECT_FALSE(samples_of(wave(1, 9, 16, "\0\0")));  // nine channels
    EXPECT_FALSE(samples_of(wave(1, 1, 12, "\0\0")));
    EXPECT_FALSE(samples_of(wave(3, 1, 16, "\0\0")));  // no 16-bit floats
    std::string no_data = wave(1, 1, 16, "\0\0");
    EXPECT_FALSE(samples_of(no_data.substr(0, no_data.size() - 10)));
}

}  // namespace
