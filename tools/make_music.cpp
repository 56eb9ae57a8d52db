// Writes the background loop bundled with taja-duel: eight seconds of a
// cheerful pentatonic tune over a walking bass, 16-bit mono PCM at 22050 Hz.
// Every note fades out inside its own beat, so the end joins the beginning
// without a click when the player loops it.
//
// Usage: make_music OUT.wav
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr int kBeatFrames = kRate / 4;  // an eighth note at 120 beats per minute

// MIDI note numbers, one per eighth note; 0 is a rest.
constexpr int kMelody[] = {
    76, 79, 81, 79, 76, 74, 72, 74,  // E G A G E D C D
    76, 79, 81, 84, 81, 79, 76, 79,  // E G A C A G E G
    81, 79, 76, 74, 72, 74, 76, 79,  // A G E D C D E G
    74, 76, 74, 72, 69, 72, 74, 0,   // D E D C A C D, rest
};
// One bass note per quarter (two eighths).
constexpr int kBass[] = {
    48, 55, 48, 55,  // C G C G
    45, 52, 45, 52,  // A E A E
    41, 48, 41, 48,  // F C F C
    43, 50, 43, 50,  // G D G D
};
constexpr int kBeats = sizeof kMelody / sizeof kMelody[0];

double frequency(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// A plucked note: quick attack, exponential decay, and a short fade to zero
// at the end of its span so that no note is cut off with a click.
double envelope(double t, double span, double decay) {
    constexpr double kAttack = 0.008;
    constexpr double kRelease = 0.02;
    double level = t < kAttack ? t / kAttack : std::exp(-(t - kAttack) / decay);
    if (t > span - kRelease) level *= std::max(0.0, (span - t) / kRelease);
    return level;
}

// Adds one note into `mix`, starting at beat `beat` and lasting `beats` beats.
void add_note(std::vector<double>& mix, int beat, int beats, int midi, double gain, double decay,
              double overtone) {
    double f = frequency(midi);
    int start = beat * kBeatFrames;
    int frames = beats * kBeatFrames;
    double span = static_cast<double>(frames) / kRate;
    for (int i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / kRate;
        double phase = 2.0 * std::numbers::pi * f * t;
        double tone = std::sin(phase) + overtone * std::sin(2.0 * phase);
        mix[start + i] += gain * envelope(t, span, decay) * tone;
    }
}

void put_u16(std::FILE* out, std::uint16_t v) {
    unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    std::fwrite(b, 1, 2, out);
}

void put_u32(std::FILE* out, std::uint32_t v) {
    put_u16(out, static_cast<std::uint16_t>(v));
    put_u16(out, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_music OUT.wav\n");
        return 2;
    }

    std::vector<double> mix(static_cast<std::size_t>(kBeats) * kBeatFrames, 0.0);
    for (int b = 0; b < kBeats; ++b) {
        if (kMelody[b] != 0) add_note(mix, b, 1, kMelody[b], 0.32, 0.16, 0.25);
    }
    for (int q = 0; q < kBeats / 2; ++q) {
        add_note(mix, 2 * q, 2, kBass[q], 0.28, 0.30, 0.10);
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const std::uint32_t data_bytes = static_cast<std::uint32_t>(mix.size() * 2);
    // RIFF/WAVE with one "fmt " chunk (PCM, mono, 16 bits) and one "data" chunk.
    std::fwrite("RIFF", 1, 4, out);
    put_u32(out, 36 + data_bytes);
    std::fwrite("WAVEfmt ", 1, 8, out);
    put_u32(out, 16);         // size of the fmt chunk
    put_u16(out, 1);          // PCM
    put_u16(out, 1);          // one channel
    put_u32(out, kRate);      // frames per second
    put_u32(out, kRate * 2);  // bytes per second
    put_u16(out, 2);          // bytes per frame
    put_u16(out, 16);         // bits per sample
    std::fwrite("data", 1, 4, out);
    put_u32(out, data_bytes);
    for (double v : mix) {
        double clipped = std::max(-1.0, std::min(1.0, v));
        auto sample = static_cast<std::int16_t>(std::lround(clipped * 32767.0));
        put_u16(out, static_cast<std::uint16_t>(sample));
    }
    bool written = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
