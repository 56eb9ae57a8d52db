// The music on SDL2_mixer, which decodes the WAV file, loops it and finds the
// sound server (PipeWire, PulseAudio or ALSA).
#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "sound/music.h"
#include "sound/music_detail.h"

namespace sound {

namespace {

struct Audio {
    std::mutex mutex;
    bool tried = false;  // the device was asked for once since the last close
    bool open = false;
    Mix_Music* music = nullptr;
    std::string path;  // the file `music` came from or failed to; "" for none
    int saved_stderr = -1;
    SDL_LogOutputFunction saved_log = nullptr;
    void* saved_log_data = nullptr;
};

Audio& audio() {
    static Audio a;
    return a;
}

void drop_log_line(void*, int, SDL_LogPriority, const char*) {}

// Nothing an audio library says may land on the board. SDL speaks through its
// log (the disk driver warns there), which we hush. alsa-lib writes straight
// to standard error: a burst of "ALSA lib ..." lines when there is no device,
// and later, from SDL's audio thread, a line for every underrun. So while the
// audio is open, a standard error that is a terminal -- the game's screen --
// points at /dev/null. One that is not a terminal (a log file) keeps them.
void hush_audio_output(Audio& a) {
    SDL_LogGetOutputFunction(&a.saved_log, &a.saved_log_data);
    SDL_LogSetOutputFunction(drop_log_line, nullptr);
    if (!::isatty(STDERR_FILENO)) return;
    int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0) return;
    a.saved_stderr = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (a.saved_stderr >= 0) ::dup2(null_fd, STDERR_FILENO);
    ::close(null_fd);
}

void restore_audio_output(Audio& a) {
    if (a.saved_stderr >= 0) {
        ::dup2(a.saved_stderr, STDERR_FILENO);
        ::close(a.saved_stderr);
        a.saved_stderr = -1;
    }
    SDL_LogSetOutputFunction(a.saved_log, a.saved_log_data);
}

bool open_audio(Audio& a) {
    // The terminal session owns the signals; SDL must not take SIGINT/SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    hush_audio_output(a);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        if (Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 1024) == 0) return true;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    restore_audio_output(a);
    return false;
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

}  // namespace

namespace detail {

void start_music_file(const std::string& path) {
    Audio& a = audio();
    std::lock_guard lock(a.mutex);
    if (!a.tried) {
        a.tried = true;
        a.open = open_audio(a);
    }
    if (!a.open) return;
    Mix_HaltMusic();
    if (path != a.path) {
        if (a.music != nullptr) Mix_FreeMusic(a.music);
        a.music = path.empty() ? nullptr : Mix_LoadMUS(path.c_str());
        a.path = path;
    }
    if (a.music != nullptr) Mix_PlayMusic(a.music, -1);  // -1: loop until halted
}

}  // namespace detail

void start_music() { detail::start_music_file(find_music_file()); }

void close_music() {
    Audio& a = audio();
    std::lock_guard lock(a.mutex);
    if (a.open) {
        Mix_HaltMusic();
        if (a.music != nullptr) Mix_FreeMusic(a.music);
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        restore_audio_output(a);
    }
    a.music = nullptr;
    a.path.clear();
    a.tried = false;
    a.open = false;
}

}  // namespace sound
