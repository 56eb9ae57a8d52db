// The player's music file, read as the sound device takes it: a RIFF WAVE
// file of integer PCM (8, 16, 24 or 32 bits) or floating point (32 or 64
// bits), plain or in the extensible format, with 1 to 8 channels, its
// samples handed out as interleaved 16-bit frames. The file is read as it
// plays, a chunk at a time; nothing in it is trusted: a header that does not
// add up is no music.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace sound {

class WavReader {
  public:
    // Reads the header of the WAVE data in `file`, which stays the caller's
    // and must outlive the reader; false when it is no WAVE file this can
    // play. The frames then start from the first.
    bool open(std::FILE* file);

    int channels() const { return channels_; }
    int rate() const { return rate_; }

    // Up to `frames` frames into `out` (room for frames * channels()
    // samples); how many were read, 0 at the end of the data.
    std::size_t read(std::int16_t* out, std::size_t frames);
    // Back to the first frame; false when the file cannot seek.
    bool rewind();

  private:
    std::FILE* file_ = nullptr;
    int channels_ = 0;
    int rate_ = 0;
    int bytes_ = 0;       // per sample
    bool float_ = false;  // IEEE floating point, else integer PCM
    long data_start_ = 0;
    std::uint64_t data_left_ = 0;  // bytes of the data not read yet
    std::uint64_t data_size_ = 0;
    std::vector<unsigned char> raw_;
};

}  // namespace sound
