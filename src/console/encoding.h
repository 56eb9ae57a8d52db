// Text encoding at the edges of the program. Inside, every text is CP949
// bytes; the terminal speaks the locale's encoding (UTF-8 nearly always).
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace console {

// The terminal's encoding as iconv names it: the locale's codeset, or UTF-8
// when the locale names plain ASCII. Reads the locale; call after setlocale.
std::string terminal_encoding();

// One iconv conversion, owned. Not shared between threads.
class Converter {
public:
    Converter(const std::string& from, const std::string& to);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts the whole of `in`. A character with no form in the target
    // encoding, or a malformed byte sequence, becomes one '?' and conversion
    // goes on after it, so nothing that follows is lost or shifted. A '?' can
    // never complete a word of the game, whose words are Hangul only.
    std::string convert(std::string_view in);

private:
    iconv_t cd_;
    bool from_utf8_;
};

}  // namespace console
