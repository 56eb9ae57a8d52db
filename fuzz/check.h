// What the fuzz targets hold every input to: a failed check aborts, and
// libFuzzer keeps the input that made it fail.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

inline void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "does not hold: %s\n", what);
    std::abort();
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF,
// no character cut off at the end.
inline bool valid_utf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        int need = 0;
        unsigned lo = 0x80;
        unsigned hi = 0xBF;
        if (b < 0x80) {
            need = 0;
        } else if (b >= 0xC2 && b <= 0xDF) {
            need = 1;
        } else if (b >= 0xE0 && b <= 0xEF) {
            need = 2;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (s.size() - i - 1 < static_cast<std::size_t>(need)) return false;
        for (int k = 1; k <= need; ++k) {
            const auto c = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return false;
        }
        i += static_cast<std::size_t>(need) + 1;
    }
    return true;
}

}  // namespace fuzz
