// The background music, heard through alsa-lib's `file` plugin: a
// configuration of the test's own makes the default device write what a sound
// card would play, as signed 16-bit stereo frames at 44100 Hz, into a FIFO
// that the test reads back at a sound card's pace.
//
// alsa-lib reads its configuration from the environment, so every case runs
// the music layer in a child process of its own, whose standard output and
// error are a terminal (as in the game) that the test reads back.
#include "sound/music.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <numbers>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound/music_detail.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Samples = std::vector<std::int16_t>;  // interleaved left, right

constexpr int kRate = 44100;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Told to the child on its standard error once the music is closed: proof
// that nothing else was printed.
constexpr char kClosed[] = "closed\n";

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/taja-music-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

void write_wav(const std::filesystem::path& path, const Samples& samples) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    auto u16 = [&](std::uint16_t v) {
        char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
        out.write(b, 2);
    };
    auto u32 = [&](std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    };
    auto bytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);  // PCM
    u16(2);  // stereo
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (std::int16_t s : samples) u16(static_cast<std::uint16_t>(s));
}

// A loop that can be told apart at every moment: 0.4 s of a two-voice chord
// (different pitches left and right, loud from the very first frame), then
// 4.6 s of digital silence. Heard in the output, its first loud frame says
// exactly when the loop began, and its content says from where.
constexpr std::size_t kChordFrames = kRate * 4 / 10;
constexpr std::size_t kLoopFrames = kRate * 5;

Samples marker_loop() {
    Samples s(kLoopFrames * 2, 0);
    for (std::size_t i = 0; i < kChordFrames; ++i) {
        double t = static_cast<double>(i) / kRate;
        s[2 * i] = static_cast<std::int16_t>(9000 * std::cos(2 * std::numbers::pi * 440 * t));
        s[2 * i + 1] = static_cast<std::int16_t>(9000 * std::cos(2 * std::numbers::pi * 660 * t));
    }
    return s;
}

// An ALSA configuration in `dir` whose default device writes what it plays
// into the FIFO `fifo`.
std::filesystem::path card_config(const std::filesystem::path& dir,
                                  const std::filesystem::path& fifo) {
    auto config = dir / "asound.conf";
    std::ofstream(config) << "pcm.!default {\n  type file\n  slave.pcm { type null }\n"
                          << "  file \"" << fifo.string() << "\"\n  format raw\n}\n";
    return config;
}

// The sound card: reads the FIFO at 44100 frames a second from the first
// sound on. (The `null` device behind the plugin takes any amount at once; a
// full FIFO holds the player back as a card does.)
class Card {
  public:
    explicit Card(const std::filesystem::path& fifo) {
        ::mkfifo(fifo.c_str(), 0600);  // or it is there already
        fd_ = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        reader_ = std::thread([this] { run(); });
    }
    ~Card() {
        stop_ = true;
        reader_.join();
        ::close(fd_);
    }

    Samples heard() const {
        std::lock_guard lock(mutex_);
        Samples s(bytes_.size() / 4 * 2);  // whole frames only
        for (std::size_t i = 0; i < s.size(); ++i) {
            s[i] = static_cast<std::int16_t>(bytes_[2 * i] | bytes_[2 * i + 1] << 8);
        }
        return s;
    }

  private:
    void run() {
        std::optional<Clock::time_point> begun;
        std::size_t taken = 0;
        // On this thread's stack: a music child forked meanwhile has no such
        // thread, and a block of the heap only it held would be a leak there.
        std::array<unsigned char, 4096> buf;
        while (!stop_) {
            std::this_thread::sleep_for(5ms);
            std::size_t want = buf.size();
            if (begun) {
                std::chrono::duration<double> played = Clock::now() - *begun;
                auto due = static_cast<std::size_t>(played.count() * kRate) * 4;
                want = due > taken ? std::min(want, due - taken) : 0;
            }
            ssize_t n = want > 0 ? ::read(fd_, buf.data(), want) : 0;
            if (n <= 0) continue;
            if (!begun) begun = Clock::now();
            taken += static_cast<std::size_t>(n);
            std::lock_guard lock(mutex_);
            bytes_.insert(bytes_.end(), buf.begin(), buf.begin() + n);
        }
    }

    int fd_ = -1;
    std::atomic<bool> stop_ = false;
    mutable std::mutex mutex_;
    std::vector<unsigned char> bytes_;
    std::thread reader_;
};

std::size_t frames(const Samples& s) { return s.size() / 2; }

// The first frame at or after `from` that is not silent, or kNone.
std::size_t first_sound(const Samples& s, std::size_t from) {
    for (std::size_t f = from; f < frames(s); ++f) {
        if (s[2 * f] != 0 || s[2 * f + 1] != 0) return f;
    }
    return kNone;
}

bool silent(const Samples& s, std::size_t from, std::size_t count) {
    for (std::size_t i = 2 * from; i < 2 * (from + count); ++i) {
        if (s[i] != 0) return false;
    }
    return true;
}

// Whether the output from frame `at` on plays `count` frames of `wav` from its
// beginning. Loud audio played at full volume comes out sample for sample;
// one step of rounding is allowed.
bool plays_from_start(const Samples& out, std::size_t at, const Samples& wav, std::size_t count) {
    for (std::size_t i = 0; i < 2 * count; ++i) {
        if (std::abs(out[2 * at + i] - wav[i]) > 1) return false;
    }
    return true;
}

// The music layer in a child process with the given environment. The child
// starts the music each time it is asked to (start_music, or the given file
// when `file` is set) and closes it when told to end.
class MusicChild {
  public:
    // With `stderr_file` set, standard error goes to that file instead of
    // the terminal.
    explicit MusicChild(const std::map<std::string, std::string>& env,
                        std::optional<std::string> file = std::nullopt,
                        std::optional<std::filesystem::path> stderr_file = std::nullopt) {
        termios raw;
        ::cfmakeraw(&raw);  // the child's text arrives byte for byte
        int slave = -1;
        int to_child[2];
        int from_child[2];
        if (::openpty(&master_, &slave, nullptr, &raw, nullptr) != 0 || ::pipe(to_child) != 0 ||
            ::pipe(from_child) != 0) {
            ADD_FAILURE() << "no pseudo-terminal or pipe";
            return;
        }
        std::fflush(nullptr);  // or the child would print this process's pending output
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(master_);
            ::close(to_child[1]);
            ::close(from_child[0]);
            int err = stderr_file ? ::open(stderr_file->c_str(), O_WRONLY | O_CREAT, 0600) : slave;
            run_child(env, file, slave, err, to_child[0], from_child[1]);
        }
        ::close(slave);
        ::close(to_child[0]);
        ::close(from_child[1]);
        to_child_ = to_child[1];
        from_child_ = from_child[0];
    }

    ~MusicChild() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (int fd : {master_, to_child_, from_child_}) {
            if (fd >= 0) ::close(fd);
        }
    }

    // Has the child start the music; answers how long the call took, or
    // nothing when it did not return within the deadline.
    std::optional<std::chrono::milliseconds> start() {
        auto begun = Clock::now();
        if (::write(to_child_, "s", 1) != 1) return std::nullopt;
        pollfd p = {from_child_, POLLIN, 0};
        char ack;
        if (::poll(&p, 1, 5000) != 1 || ::read(from_child_, &ack, 1) != 1) return std::nullopt;
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun);
    }

    // How many threads the child runs.
    std::size_t threads() const {
        auto tasks = std::filesystem::path("/proc") / std::to_string(pid_) / "task";
        std::error_code ec;
        auto entries = std::filesystem::directory_iterator(tasks, ec);
        return ec ? 0 : static_cast<std::size_t>(std::distance(entries, {}));
    }

    // Has the child close the music and end; answers everything it printed
    // on its standard output and error along the way.
    std::string finish() {
        if (pid_ <= 0) return {};
        ::close(to_child_);
        to_child_ = -1;
        auto end = Clock::now() + 5s;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > end) {
                ADD_FAILURE() << "the music child did not end";
                return {};
            }
            std::this_thread::sleep_for(5ms);
        }
        pid_ = -1;
        // A sanitizer's report made while the music held standard error went
        // to /dev/null; its exit code still tells.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "the music child ended with status " << status;
        // The child is gone, so the master gives what is left, then EIO.
        std::string printed;
        char buf[4096];
        pollfd p = {master_, POLLIN, 0};
        while (::poll(&p, 1, 2000) == 1) {
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            printed.append(buf, static_cast<std::size_t>(n));
        }
        return printed;
    }

  private:
    [[noreturn]] static void run_child(const std::map<std::string, std::string>& env,
                                       const std::optional<std::string>& file, int tty, int err,
                                       int commands, int answers) {
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        ::dup2(tty, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        if (err != tty) ::close(err);
        ::close(tty);
        char c;
        while (::read(commands, &c, 1) == 1) {
            if (file) {
                sound::detail::start_music_file(*file);
            } else {
                sound::start_music();
            }
            if (::write(answers, "k", 1) != 1) ::_exit(3);
        }
        sound::close_music();
        if (::write(STDERR_FILENO, kClosed, sizeof kClosed - 1) < 0) ::_exit(4);
        std::exit(0);  // a sanitizer finds its leaks and races on the way out
    }

    pid_t pid_ = -1;
    int master_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
};

// Listens to the card until `done` holds on what it heard or the deadline passes.
std::optional<Samples> wait_output(const Card& card,
                                   const std::function<bool(const Samples&)>& done,
                                   std::chrono::milliseconds deadline = 8s) {
    auto end = Clock::now() + deadline;
    for (;;) {
        Samples s = card.heard();
        if (done(s)) return s;
        if (Clock::now() > end) return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

// ThreadSanitizer's runtime keeps threads of its own in a child that has
// started one: two in the music's child.
#if defined(__SANITIZE_THREAD__)
constexpr std::size_t kSanitizerThreads = 2;
#else
constexpr std::size_t kSanitizerThreads = 0;
#endif

// Whether the child's threads come down to `count` (and the sanitizer's)
// within two seconds.
bool threads_come_to(const MusicChild& child, std::size_t count) {
    auto end = Clock::now() + 2s;
    while (child.threads() != count + kSanitizerThreads) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// A home in `dir` and the card of card_config.
std::map<std::string, std::string> with_card(const TempDir& dir) {
    return {{"ALSA_CONFIG_PATH", card_config(dir.path(), dir.path() / "card").string()},
            {"HOME", dir.path().string()}};
}

TEST(Music, PlaysTheHomeFileLoopingAndRestartsItFromTheBeginning) {
    TempDir dir;
    Samples loop = marker_loop();
    write_wav(dir.path() / "Desktop/Sound/music.wav", loop);
    // The child first: it is forked with no thread of the card's to leave
    // behind in it.
    MusicChild child(with_card(dir));
    Card card(dir.path() / "card");

    ASSERT_TRUE(child.start()) << "start_music did not return";
    // The whole chord and a good stretch of the silence after it.
    std::size_t first = kNone;
    auto heard = wait_output(card, [&](const Samples& s) {
        first = first_sound(s, 0);
        return first != kNone && frames(s) >= first + kChordFrames + kRate / 4;
    });
    ASSERT_TRUE(heard) << "no music reached the audio device";
    EXPECT_TRUE(plays_from_start(*heard, first, loop, kChordFrames));
    EXPECT_TRUE(silent(*heard, first + kChordFrames, kRate / 4));

    // Played on, the loop would sound again only 5 s after it began.
    ASSERT_TRUE(child.start()) << "the second start_music did not return";
    std::size_t again = kNone;
    auto restarted = wait_output(card, [&](const Samples& s) {
        again = first_sound(s, first + kChordFrames);
        return again != kNone && frames(s) >= again + kChordFrames;
    });
    ASSERT_TRUE(restarted) << "the music did not sound again";
    EXPECT_LT(again - first, kLoopFrames / 2) << "the loop was not restarted";
    EXPECT_TRUE(plays_from_start(*restarted, again, loop, kChordFrames))
        << "the loop did not restart from its beginning";

    EXPECT_EQ(child.finish(), kClosed) << "an audio library printed on the terminal";
}

TEST(Music, LoopsTheFileUntilStartedAgain) {
    TempDir dir;
    // A short loop: 0.1 s of chord, 0.4 s of silence.
    Samples loop = marker_loop();
    std::fill(loop.begin() + kRate / 10 * 2, loop.end(), 0);
    loop.resize(kRate / 2 * 2);
    write_wav(dir.path() / "Desktop/Sound/music.wav", loop);
    // The child first: it is forked with no thread of the card's to leave
    // behind in it.
    MusicChild child(with_card(dir));
    Card card(dir.path() / "card");

    ASSERT_TRUE(child.start());
    std::size_t first = kNone;
    std::size_t second = kNone;
    auto heard = wait_output(card, [&](const Samples& s) {
        first = first_sound(s, 0);
        if (first == kNone) return false;
        second = first_sound(s, first + kRate / 10 + 1);
        return second != kNone && frames(s) >= second + kRate / 10;
    });
    ASSERT_TRUE(heard) << "the music did not come round again";
    EXPECT_EQ(second - first, kRate / 2) << "the loop has a gap or an overlap";
    EXPECT_TRUE(plays_from_start(*heard, second, loop, kRate / 10));
    EXPECT_EQ(child.finish(), kClosed);
}

// The test program is built beside the program, where the build writes the loop.
TEST(Music, WithoutAFileAtHomePlaysTheBundledLoop) {
    TempDir dir;  // a home with no Desktop/Sound/music.wav
    // The child first: it is forked with no thread of the card's to leave
    // behind in it.
    MusicChild child(with_card(dir));
    Card card(dir.path() / "card");

    ASSERT_TRUE(child.start());
    auto heard = wait_output(card, [](const Samples& s) {
        return std::any_of(s.begin(), s.end(), [](std::int16_t v) { return std::abs(v) > 1000; });
    });
    EXPECT_TRUE(heard) << "the bundled loop did not play";
    EXPECT_EQ(child.finish(), kClosed);
}

// A device that takes its time to open (here one that never opens until the
// card is there) holds up nobody: the caller goes on at once.
TEST(Music, StartReturnsAtOnceWhileTheDeviceOpens) {
    TempDir dir;
    write_wav(dir.path() / "Desktop/Sound/music.wav", marker_loop());
    auto fifo = dir.path() / "card";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    MusicChild child(with_card(dir));
    for (int round = 0; round < 2; ++round) {
        auto took = child.start();
        ASSERT_TRUE(took) << "start_music did not return";
        EXPECT_LT(*took, 250ms);
    }
    Card card(fifo);
    EXPECT_TRUE(wait_output(card, [](const Samples& s) { return first_sound(s, 0) != kNone; }))
        << "the music did not play once the device opened";
    EXPECT_EQ(child.finish(), kClosed);
}

// Without a device (a configuration that names none, or a sound card that is
// not there) or without a file, nothing plays, nothing is printed, wherever
// standard error goes, and the music leaves no thread behind.
TEST(Music, NoDeviceOrNoFileMeansSilenceNothingPrintedAndNoThreadLeft) {
    TempDir dir;
    write_wav(dir.path() / "Desktop/Sound/music.wav", marker_loop());
    auto no_cards = dir.path() / "none.conf";
    std::ofstream(no_cards).flush();
    auto absent_card = dir.path() / "absent.conf";
    std::ofstream(absent_card) << "pcm.!default { type hw card 29 }\n";
    auto err = dir.path() / "stderr.txt";
    auto home = dir.path().string();
    struct Case {
        const char* what;
        std::map<std::string, std::string> env;
        std::optional<std::string> file;
        std::optional<std::filesystem::path> stderr_file;
        bool card = false;  // the card is there
    };
    const Case cases[] = {
        {"no card", {{"ALSA_CONFIG_PATH", no_cards.string()}, {"HOME", home}}, {}, {}},
        {"absent card", {{"ALSA_CONFIG_PATH", absent_card.string()}, {"HOME", home}}, {}, {}},
        {"absent card, standard error a file",
         {{"ALSA_CONFIG_PATH", absent_card.string()}, {"HOME", home}},
         {},
         err},
        {"no file", with_card(dir), (dir.path() / "no-such.wav").string(), {}, true},
    };
    std::optional<Card> card;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MusicChild child(c.env, c.file, c.stderr_file);
        // After the fork: the child has no thread of the card's to leave
        // behind in it.
        if (c.card) card.emplace(dir.path() / "card");
        for (int round = 0; round < 2; ++round) {
            auto took = child.start();
            ASSERT_TRUE(took) << "start_music did not return";
            EXPECT_LT(*took, 250ms);
        }
        EXPECT_TRUE(threads_come_to(child, 1)) << child.threads() << " threads";
        EXPECT_EQ(child.finish(), c.stderr_file ? "" : kClosed)
            << "an audio library printed on the terminal";
    }
    std::ifstream in(err);
    std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(printed, kClosed) << "an audio library printed on standard error";
    EXPECT_TRUE(card->heard().empty()) << "something played without a file";
}

}  // namespace
