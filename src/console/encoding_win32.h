// Text between the program's byte strings and the Windows console's UTF-16.
// For the Win32 files only: game code never sees a wide string.
#pragma once

#include <string>
#include <string_view>

namespace console {

inline constexpr unsigned kCodePageCp949 = 949;
inline constexpr unsigned kCodePageUtf8 = 65001;

// `in`, in code page `code_page`, as UTF-16. A malformed byte sequence, or a
// byte with no character in that code page, becomes one '?' and the rest
// follows unshifted.
std::wstring to_wide(std::string_view in, unsigned code_page);

// UTF-16 `in` in code page `code_page`. A character with no exact form there
// becomes one '?': never a look-alike (the system's "best fit"), which could
// match a word that was not typed.
std::string from_wide(std::wstring_view in, unsigned code_page);

}  // namespace console
