// The history file on Windows: %LOCALAPPDATA%\taja-duel, and appends made
// whole with end-of-file writes, LockFileEx and FlushFileBuffers.
#include <io.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>

#include "console/encoding_win32.h"
#include "shell/history_detail.h"

namespace shell::detail {

namespace {

// The system's own words for `code`, in CP949.
std::string reason(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || text == nullptr) return "Windows error " + std::to_string(code);
    std::wstring words(text, n);
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\r' || words.back() == L'\n')) words.pop_back();
    return console::from_wide(words, console::kCodePageCp949);
}

std::wstring wide(const std::string& utf8) {
    return console::to_wide(utf8, console::kCodePageUtf8);
}

struct Handle {
    HANDLE h;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    }
};

// The lock every appender takes: one byte far past any real end of the
// file, so that it keeps appenders in turn without barring anyone's reads.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

}  // namespace

std::string default_history_path() {
    std::wstring folder;
    if (DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0); n > 1) {
        folder.resize(n);
        n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", folder.data(), n);
        folder.resize(n);
    }
    if (folder.empty()) {
        PWSTR path = nullptr;
        if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path))) {
            folder = path;
        }
        ::CoTaskMemFree(path);  // whether the call succeeded or not, as the shell asks
    }
    if (folder.empty()) return {};
    return console::from_wide(folder, console::kCodePageUtf8) + "\\taja-duel\\history.tsv";
}

std::string make_folders(const std::string& folder) {
    const std::wstring w = wide(folder);
    // Each folder from the top down; a drive ("C:") or the start of a UNC
    // name is there already or nowhere.
    // A folder of the system may answer access denied although it is there:
    // the last such answer is the reason only if the folder is missing.
    DWORD refused = 0;
    for (std::size_t at = 1; at <= w.size(); ++at) {
        if (at != w.size() && w[at] != L'\\' && w[at] != L'/') continue;
        const std::wstring part = w.substr(0, at);
        if (part.back() == L':' || part.back() == L'\\') continue;
        if (!::CreateDirectoryW(part.c_str(), nullptr)) {
            const DWORD e = ::GetLastError();
            if (e == ERROR_ACCESS_DENIED) {
                refused = e;
            } else if (e != ERROR_ALREADY_EXISTS) {
                return reason(e);
            }
        }
    }
    const DWORD attrs = ::GetFileAttributesW(w.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) return reason(refused != 0 ? refused : ::GetLastError());
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return reason(ERROR_DIRECTORY);
    return {};
}

std::string append_locked(const std::string& path, std::string_view header, std::string_view line) {
    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
    Handle file{::CreateFileW(wide(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) return reason(::GetLastError());
    OVERLAPPED lock{};
    lock.OffsetHigh = kLockOffsetHigh;
    if (!::LockFileEx(file.h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock)) {
        return reason(::GetLastError());
    }
    std::string error;
    LARGE_INTEGER size{};
    std::string bytes;
    if (!::GetFileSizeEx(file.h, &size)) {
        error = reason(::GetLastError());
    } else if (size.QuadPart == 0) {
        bytes = header;
    } else {
        OVERLAPPED at{};
        const ULONGLONG last = static_cast<ULONGLONG>(size.QuadPart) - 1;
        at.Offset = static_cast<DWORD>(last);
        at.OffsetHigh = static_cast<DWORD>(last >> 32);
        char c = '\n';
        DWORD got = 0;
        if (!::ReadFile(file.h, &c, 1, &got, &at) || got != 1) {
            error = reason(::GetLastError());
        } else if (c != '\n') {
            bytes = "\n";
        }
    }
    if (error.empty()) {
        bytes += line;
        std::string_view rest = bytes;
        while (error.empty() && !rest.empty()) {
            DWORD wrote = 0;
            if (!::WriteFile(file.h, rest.data(), static_cast<DWORD>(rest.size()), &wrote,
                             nullptr) ||
                wrote == 0) {
                error = reason(::GetLastError());
            }
            rest.remove_prefix(wrote);
        }
    }
    if (error.empty() && !::FlushFileBuffers(file.h)) error = reason(::GetLastError());
    ::UnlockFileEx(file.h, 0, 1, 0, &lock);
    return error;
}

ReadResult read_file(const std::string& path, std::string& text, std::string& error) {
    Handle file{::CreateFileW(wide(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.h == INVALID_HANDLE_VALUE) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return ReadResult::none;
        error = reason(e);
        return ReadResult::failed;
    }
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.h, buf, sizeof buf, &got, nullptr)) {
            error = reason(::GetLastError());
            return ReadResult::failed;
        }
        if (got == 0) return ReadResult::ok;
        text.append(buf, got);
    }
}

// The console shows SGR colours only in a mode the program would have to
// switch on, and --history leaves the console's modes alone.
bool stdout_takes_colour() { return false; }

void write_text(std::FILE* to, std::string_view text) {
    std::fflush(to);
    HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(to)));
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode)) {
        // A console takes UTF-16 whatever its code page.
        const std::wstring w = console::to_wide(text, console::kCodePageUtf8);
        DWORD wrote = 0;
        ::WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &wrote, nullptr);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

}  // namespace shell::detail
