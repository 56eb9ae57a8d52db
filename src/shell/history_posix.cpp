// The history file on POSIX: the XDG state folder, and appends made whole
// with O_APPEND, flock and fsync.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "shell/history_detail.h"

namespace shell::detail {

namespace {

// ASCII: the program leaves the messages' locale at "C".
std::string reason(int code) { return std::strerror(code); }

// Closes a descriptor when it goes; the lock goes with it.
struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Writes all of `bytes`, going on after a partial write.
bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

std::string default_history_path() {
    // XDG: a relative XDG_STATE_HOME is to be ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        return std::string(state) + "/taja-duel/history.tsv";
    }
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && h[0] != '\0') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        home = pw->pw_dir;
    }
    if (home.empty()) return {};
    return home + "/.local/state/taja-duel/history.tsv";
}

std::string make_folders(const std::string& folder) {
    // Each folder from the top down; the state folder is the user's own
    // (0700, as the XDG base directories ask).
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at != folder.size() && folder[at] != '/') continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return reason(errno);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return reason(errno);
    if (!S_ISDIR(st.st_mode)) return reason(ENOTDIR);
    return {};
}

std::string append_locked(const std::string& path, std::string_view header, std::string_view line) {
    Fd file{::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644)};
    if (file.fd < 0) return reason(errno);
    // Every appender takes the lock, so the header is written once and the
    // check of the last byte below sees every earlier line whole. A file
    // system without locks still gets each line in one O_APPEND write.
    while (::flock(file.fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) return reason(errno);
    std::string bytes;
    if (st.st_size == 0) {
        bytes = header;
    } else {
        char last = '\n';
        if (::pread(file.fd, &last, 1, st.st_size - 1) != 1) return reason(errno);
        if (last != '\n') bytes = "\n";
    }
    bytes += line;
    if (!write_all(file.fd, bytes)) return reason(errno == 0 ? ENOSPC : errno);
    if (::fsync(file.fd) != 0) return reason(errno);
    if (st.st_size == 0) {
        // A file new to its folder is on the disk once the folder's entry
        // for it is too.
        const std::size_t slash = path.find_last_of('/');
        const std::string folder = slash == std::string::npos ? std::string(".")
                                   : slash == 0               ? std::string("/")
                                                              : path.substr(0, slash);
        Fd dir{::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
        // A folder this user may not open, or a file system that does not
        // sync folders (EINVAL), leaves it to the system.
        if (dir.fd >= 0 && ::fsync(dir.fd) != 0 && errno != EINVAL) return reason(errno);
    }
    return {};
}

ReadResult read_file(const std::string& path, std::string& text, std::string& error) {
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) {
        if (errno == ENOENT) return ReadResult::none;
        error = reason(errno);
        return ReadResult::failed;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(file.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = reason(errno);
            return ReadResult::failed;
        }
        if (n == 0) return ReadResult::ok;
        text.append(buf, static_cast<std::size_t>(n));
    }
}

bool stdout_takes_colour() { return ::isatty(STDOUT_FILENO) == 1; }

void write_text(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

}  // namespace shell::detail
