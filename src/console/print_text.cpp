// printf-style output, the same on every platform: the text is formatted
// here and drawn by the platform's write_cp949.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"

namespace console {

void print_text(const char* format, ...) {
    char small[512];
    std::string text;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(n) < sizeof small) {
        text.assign(small, static_cast<std::size_t>(n));
    } else {
        text.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<std::size_t>(n));
    }
    va_end(again);
    write_cp949(text);
}

}  // namespace console
