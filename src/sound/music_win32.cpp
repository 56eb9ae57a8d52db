// The music on Windows: PlaySoundW of the multimedia library, which plays a
// WAV file in the background and loops it.
#include <windows.h>
// After <windows.h>, whose types they use.
#include <knownfolders.h>
#include <mmsystem.h>
#include <shlobj.h>

#include <mutex>
#include <string>

#include "console/encoding_win32.h"
#include "sound/desktop_win32.h"
#include "sound/music.h"
#include "sound/music_detail.h"

namespace sound {

namespace detail {

std::wstring desktop_folder(const FolderLookup& known_folder, const FolderLookup& profile) {
    std::wstring folder = known_folder();
    if (!folder.empty()) return folder;
    folder = profile();
    return folder.empty() ? folder : folder + L"\\Desktop";
}

std::wstring desktop_folder() {
    return desktop_folder(
        [] {
            PWSTR path = nullptr;
            std::wstring folder;
            if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &path))) {
                folder = path;
            }
            ::CoTaskMemFree(path);  // whether the call succeeded or not, as the shell asks
            return folder;
        },
        [] {
            wchar_t profile[MAX_PATH];
            DWORD n = ::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
            return n > 0 && n < MAX_PATH ? std::wstring(profile, n) : std::wstring();
        });
}

}  // namespace detail

namespace {

bool is_file(const std::wstring& path) {
    DWORD attrs = ::GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The fixed place first; then the same place on this machine's desktop,
// whoever the user is and wherever the desktop is kept; else the loop the
// build put beside the program. Empty when there is none.
std::wstring find_music_file() {
    const std::wstring fixed = L"C:\\Users\\user\\Desktop\\Sound\\music.wav";
    if (is_file(fixed)) return fixed;
    const std::wstring desktop = detail::desktop_folder();
    if (!desktop.empty()) {
        std::wstring own = desktop + L"\\Sound\\music.wav";
        if (is_file(own)) return own;
    }
    wchar_t exe[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
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
