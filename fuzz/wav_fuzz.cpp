// The player's music file: any bytes are read without a crash; what is taken
// as a WAVE file has 1 to 8 channels and a rate, gives whole frames, and gives
// the same frames again after a rewind.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "check.h"
#include "sound/wav.h"

namespace {

std::vector<std::int16_t> all_frames(sound::WavReader& wav) {
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> chunk(64 * static_cast<std::size_t>(wav.channels()));
    while (const std::size_t n = wav.read(chunk.data(), 64)) {
        fuzz::check(n <= 64, "no more frames than asked for");
        samples.insert(samples.end(), chunk.begin(),
                       chunk.begin() + static_cast<std::ptrdiff_t>(n) * wav.channels());
    }
    return samples;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::FILE* file = ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) return 0;
    sound::WavReader wav;
    if (wav.open(file)) {
        fuzz::check(wav.channels() >= 1 && wav.channels() <= 8, "1 to 8 channels");
        fuzz::check(wav.rate() >= 1, "a rate");
        const std::vector<std::int16_t> first = all_frames(wav);
        fuzz::check(first.size() % static_cast<std::size_t>(wav.channels()) == 0, "whole frames");
        fuzz::check(wav.rewind(), "a file in memory rewinds");
        fuzz::check(all_frames(wav) == first, "the same frames after a rewind");
    }
    std::fclose(file);
    return 0;
}
