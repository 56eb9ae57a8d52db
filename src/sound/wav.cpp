#include "sound/wav.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sound {

namespace {

constexpr std::uint16_t kPcm = 1;
constexpr std::uint16_t kFloat = 3;
constexpr std::uint16_t kExtensible = 0xFFFE;
constexpr int kMaxChannels = 8;
constexpr std::uint32_t kMaxRate = 768'000;

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

bool read_exactly(std::FILE* f, unsigned char* buf, std::size_t n) {
    return std::fread(buf, 1, n, f) == n;
}

// Skips `n` bytes of a chunk not needed here.
bool skip(std::FILE* f, std::uint64_t n) {
    while (n > 0) {
        const long step = static_cast<long>(std::min<std::uint64_t>(n, 1L << 30));
        if (std::fseek(f, step, SEEK_CUR) != 0) return false;
        n -= static_cast<std::uint64_t>(step);
    }
    return true;
}

std::int16_t clamp16(double v) {
    if (std::isnan(v)) return 0;
    const double scaled = std::round(v * 32767.0);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
}

}  // namespace

bool WavReader::open(std::FILE* file) {
    file_ = nullptr;
    channels_ = rate_ = bytes_ = 0;
    unsigned char head[12];
    if (file == nullptr || !read_exactly(file, head, sizeof head)) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;
    bool have_format = false;
    for (;;) {
        unsigned char chunk[8];
        if (!read_exactly(file, chunk, sizeof chunk)) return false;
        const std::uint32_t size = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > 1024) return false;
            unsigned char fmt[1024];
            if (!read_exactly(file, fmt, size) || (size % 2 == 1 && !skip(file, 1))) return false;
            std::uint16_t tag = le16(fmt);
            const int channels = le16(fmt + 2);
            const std::uint32_t rate = le32(fmt + 4);
            const int bits = le16(fmt + 14);
            if (tag == kExtensible) {
                // The format proper is the first two bytes of the subformat.
                if (size < 40) return false;
                tag = le16(fmt + 24);
            }
            float_ = tag == kFloat;
            if (tag != kPcm && tag != kFloat) return false;
            if (channels < 1 || channels > kMaxChannels || rate < 1 || rate > kMaxRate)
                return false;
            const bool integer_ok = bits == 8 || bits == 16 || bits == 24 || bits == 32;
            const bool float_ok = bits == 32 || bits == 64;
            if (float_ ? !float_ok : !integer_ok) return false;
            channels_ = channels;
            rate_ = static_cast<int>(rate);
            bytes_ = bits / 8;
            have_format = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!have_format) return false;
            data_start_ = std::ftell(file);
            if (data_start_ < 0) return false;
            // A stream's writer may not have known the length: the data then
            // runs to the end of the file.
            data_size_ = size == 0 || size == 0xFFFFFFFFu ? UINT64_MAX : size;
            data_left_ = data_size_;
            file_ = file;
            return true;
        } else if (!skip(file, size + (size % 2))) {
            return false;
        }
    }
}

std::size_t WavReader::read(std::int16_t* out, std::size_t frames) {
    if (file_ == nullptr) return 0;
    const std::size_t frame_bytes = static_cast<std::size_t>(bytes_ * channels_);
    frames = static_cast<std::size_t>(std::min<std::uint64_t>(frames, data_left_ / frame_bytes));
    raw_.resize(frames * frame_bytes);
    const std::size_t got = std::fread(raw_.data(), frame_bytes, frames, file_);
    data_left_ -= got * frame_bytes;
    const unsigned char* p = raw_.data();
    for (std::size_t i = 0; i < got * static_cast<std::size_t>(channels_); ++i, p += bytes_) {
        if (float_) {
            if (bytes_ == 4) {
                float f;
                std::memcpy(&f, p, 4);
                out[i] = clamp16(f);
            } else {
                double d;
                std::memcpy(&d, p, 8);
                out[i] = clamp16(d);
            }
            continue;
        }
        switch (bytes_) {
            case 1:
                out[i] = static_cast<std::int16_t>((p[0] - 128) * 256);
                break;
            case 2:
                out[i] = static_cast<std::int16_t>(le16(p));
                break;
            default:  // the top two bytes of 24 or 32 bits
                out[i] = static_cast<std::int16_t>(le16(p + bytes_ - 2));
                break;
        }
    }
    return got;
}

bool WavReader::rewind() {
    if (file_ == nullptr || std::fseek(file_, data_start_, SEEK_SET) != 0) return false;
    data_left_ = data_size_;
    return true;
}

}  // namespace sound
