// The music on Linux: the WAV reader reads the file and alsa-lib plays it on
// the default device (which reaches PipeWire or PulseAudio through their ALSA
// plugins on a desktop). Both work on a thread of the music's own: a caller
// only leaves a request for it, so a device that is slow to open never holds
// up a match, and that thread never draws.
#include <alsa/asoundlib.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sound/music.h"
#include "sound/music_detail.h"
#include "sound/wav.h"

namespace sound {

namespace {

// How much sound the device holds ahead of what is heard, and how long the
// music thread waits on the device before it looks for a new request.
constexpr unsigned kLatencyMicros = 100000;
constexpr int kWaitMillis = 50;

// A start asked for: the file to play, or none to look for the usual one.
using Start = std::optional<std::string>;

// What the callers ask of the music thread, and whether it runs.
struct Requests {
    std::mutex mutex;
    std::optional<Start> start;  // the latest start not yet taken
    bool close = false;
    bool running = false;
    std::thread thread;
};

// Never destroyed: a program may end while the music plays.
Requests& requests() {
    static Requests& r = *new Requests;
    return r;
}

// Serialises start_music and close_music, so that a close waits for the
// thread while no start can run a new one.
std::mutex& calls() {
    static std::mutex& m = *new std::mutex;
    return m;
}

bool is_file(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The player's own file first, as on Windows; else the loop the build made:
// beside the executable in a build tree, or where the install put it,
// TAJA_DUEL_DATA_FROM_EXE (share/taja-duel/, as seen from games/ or bin/)
// away from the executable. Both are found from where the executable is, so
// the program works under any install prefix. Empty when there is none.
std::string find_music_file() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        std::string own = std::string(home) + "/Desktop/Sound/music.wav";
        if (is_file(own)) return own;
    }
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof exe)) return {};
    std::string dir(exe, static_cast<std::size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    for (const std::string& bundled :
         {dir + "music.wav", dir + TAJA_DUEL_DATA_FROM_EXE "/music.wav"}) {
        if (is_file(bundled)) return bundled;
    }
    return {};
}

// alsa-lib reports its errors on standard error, which is the game's screen;
// the program reports none of them.
void drop_alsa_error(const char*, int, const char*, int, const char*, ...) {}

// The file being played and the device it plays on; only the music thread
// has one.
class Playback {
  public:
    Playback() = default;
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;
    ~Playback() { stop(); }

    bool playing() const { return pcm_ != nullptr; }

    // Plays `path` from its beginning: false, with nothing open, when the file
    // cannot be read or the device cannot be opened.
    bool start(const std::string& path) {
        if (path.empty() || !load(path) || !open_device()) {
            stop();
            return false;
        }
        pending_ = 0;
        return wav_.rewind();
    }

    // Gives the device the next stretch of the loop, waiting at most
    // kWaitMillis for room; false, with nothing open, when the device fails.
    bool play_on() {
        if (pending_ == 0 && !read_chunk()) {
            stop();
            return false;
        }
        int ready = ::snd_pcm_wait(pcm_, kWaitMillis);
        if (ready == 0) return true;
        snd_pcm_sframes_t written =
            ready < 0 ? ready
                      : ::snd_pcm_writei(pcm_, chunk_.data() + offset_ * channels_, pending_);
        if (written == -EAGAIN) return true;
        if (written < 0) {
            // An underrun or a suspend is recovered from; anything else ends the music.
            if (::snd_pcm_recover(pcm_, static_cast<int>(written), 1) < 0) {
                stop();
                return false;
            }
            return true;
        }
        offset_ += static_cast<std::size_t>(written);
        pending_ -= static_cast<std::size_t>(written);
        return true;
    }

    void stop() {
        if (pcm_ != nullptr) {
            ::snd_pcm_drop(pcm_);
            ::snd_pcm_close(pcm_);
            pcm_ = nullptr;
        }
        if (file_ != nullptr) std::fclose(file_);
        file_ = nullptr;
        path_.clear();
    }

  private:
    static constexpr std::size_t kChunkFrames = 1024;

    // Opens `path` unless it is the file already open.
    bool load(const std::string& path) {
        if (file_ != nullptr && path == path_) return true;
        if (file_ != nullptr) std::fclose(file_);
        file_ = std::fopen(path.c_str(), "rbe");
        path_ = path;
        if (file_ == nullptr || !wav_.open(file_)) return false;
        if (wav_.channels() != channels_ || wav_.rate() != rate_) close_device();
        channels_ = wav_.channels();
        rate_ = wav_.rate();
        return true;
    }

    // The default device, set up for the file's rate and channels; open
    // already, it drops what it still holds of the last start.
    bool open_device() {
        if (pcm_ != nullptr) {
            ::snd_pcm_drop(pcm_);
            return ::snd_pcm_prepare(pcm_) == 0;
        }
        if (::snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return false;
        }
        return ::snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                                    static_cast<unsigned>(channels_), static_cast<unsigned>(rate_),
                                    1, kLatencyMicros) == 0;
    }

    void close_device() {
        if (pcm_ != nullptr) ::snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }

    // The next chunk of the file, from its beginning again after its end.
    bool read_chunk() {
        chunk_.resize(kChunkFrames * static_cast<std::size_t>(channels_));
        std::size_t n = wav_.read(chunk_.data(), kChunkFrames);
        if (n == 0 && wav_.rewind()) n = wav_.read(chunk_.data(), kChunkFrames);
        offset_ = 0;
        pending_ = n;
        return pending_ > 0;
    }

    std::FILE* file_ = nullptr;
    WavReader wav_;
    std::string path_;
    int channels_ = 0;
    int rate_ = 0;
    snd_pcm_t* pcm_ = nullptr;
    std::vector<std::int16_t> chunk_;
    std::size_t offset_ = 0;   // the first frame of chunk_ not yet played
    std::size_t pending_ = 0;  // frames of chunk_ from offset_ not yet played
};

// The music thread: takes each start as it comes and plays between them. It
// ends on a close, or as soon as nothing plays (no device, no file), with the
// device and the file given back before it says so.
void run_music(Requests& r) {
    ::snd_lib_error_set_handler(drop_alsa_error);
    for (;;) {
        {
            Playback playback;
            for (;;) {
                std::optional<Start> start;
                {
                    std::lock_guard lock(r.mutex);
                    if (r.close || (!r.start && !playback.playing())) break;
                    start.swap(r.start);
                }
                if (start && !playback.start(*start ? **start : find_music_file())) continue;
                playback.play_on();
            }
        }
        std::lock_guard lock(r.mutex);
        if (r.close || !r.start) {
            r.running = false;
            return;
        }
    }
}

void post_start(Start path) {
    std::lock_guard call(calls());
    Requests& r = requests();
    std::lock_guard lock(r.mutex);
    r.start.emplace(std::move(path));
    if (r.running) return;
    if (r.thread.joinable()) r.thread.join();  // it has ended already
    static std::once_flag closes_at_exit;
    std::call_once(closes_at_exit, [] { std::atexit(close_music); });
    // The thread takes no signal: they are the terminal session's.
    sigset_t all;
    sigset_t before;
    ::sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &before);
    r.thread = std::thread(run_music, std::ref(r));
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    r.running = true;
}

}  // namespace

namespace detail {

void start_music_file(const std::string& path) { post_start(path); }

}  // namespace detail

void start_music() { post_start(std::nullopt); }

void close_music() {
    std::lock_guard call(calls());
    Requests& r = requests();
    {
        std::lock_guard lock(r.mutex);
        r.close = true;
        r.start.reset();
    }
    if (r.thread.joinable()) r.thread.join();
    std::lock_guard lock(r.mutex);
    r.close = false;
}

}  // namespace sound
