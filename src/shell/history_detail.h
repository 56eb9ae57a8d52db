// The platform's half of the history: where the file lives, and the file and
// console calls (history_posix.cpp, history_win32.cpp).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace shell::detail {

// The history file in the platform's per-user state folder; "" when the
// system names none.
std::string default_history_path();

// Makes the folder `folder` and any of its parents that are missing.
// Returns "" when it exists, or the reason it does not (CP949).
std::string make_folders(const std::string& folder);

// Appends to the file at `path` (made when missing) under an exclusive lock
// that every appender takes: `header` first when the file is empty, a '\n'
// when its last line is unended, then `line`; in one write, flushed to the
// disk before the lock is let go. Returns "" or the reason (CP949).
std::string append_locked(const std::string& path, std::string_view header, std::string_view line);

enum class ReadResult { ok, none, failed };
// The whole file at `path` into `text`; `none` when there is no such file,
// `failed` with the reason in `error` (CP949) when it cannot be read.
ReadResult read_file(const std::string& path, std::string& text, std::string& error);

// Whether standard output is a terminal that shows SGR colours as they are
// written.
bool stdout_takes_colour();

// Writes `text`, in the terminal's encoding (terminal_encoding()), to `to`
// (stdout or stderr) as it is.
void write_text(std::FILE* to, std::string_view text);

}  // namespace shell::detail
