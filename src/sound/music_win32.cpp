// The music on Windows: PlaySoundW of the multimedia library, which plays a
// WAV file in the background and loops it.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <mmsystem.h>

#include <mutex>
#include <string>

#include "console/encoding_win32.h"
#include "sound/music.h"
#include "sound/music_detail.h"

namespace sound {

namespace {

bool is_file(const std::wstring& path) {
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The fixed place first; then the same place on this machine's desktop,
// whoever the user is; else the loop the build put beside the program.
// Empty when there is none.
std::wstring find_music_file() {
    const std::wstring fixed = L"C:\\Users\\user\\Desktop\\Sound\\music.wav";
    if (is_file(fixed)) return fixed;
    wchar_t profile[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::wstring own = std::wstring(profile, n) + L"\\Desktop\\Sound\\music.wav";
        if (is_file(own)) return own;
    }
    wchar_t exe[MAX_PATH];
    n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        std::wstring beside(exe, n);
        beside.erase(beside.find_last_of(L"\\/") + 1);
        beside += L"music.wav";
        if (is_file(beside)) return beside;
    }
    return {};
}

std::mutex& sound_lock() {
    static std::mutex m;
    return m;
}

void play(const std::wstring& path) {
    std::lock_guard lock(sound_lock());
    ::PlaySoundW(nullptr, nullptr, 0);  // stop whatever plays
    if (path.empty()) return;
    // SND_NODEFAULT: a file that cannot be played leaves the match silent,
    // rather than looping the system's default sound.
    ::PlaySoundW(path.c_str(), nullptr, SND_FILENAME | SND_LOOP | SND_ASYNC | SND_NODEFAULT);
}

}  // namespace

namespace detail {

void start_music_file(const std::string& path) {
    play(console::to_wide(path, console::kCodePageUtf8));
}

}  // namespace detail

void start_music() { play(find_music_file()); }

void close_music() {
    std::lock_guard lock(sound_lock());
    ::PlaySoundW(nullptr, nullptr, 0);
}

}  // namespace sound
