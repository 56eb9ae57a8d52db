// Text encoding at the edges of the program. Inside, every text is CP949
// bytes; the terminal speaks the locale's encoding (UTF-8 nearly always).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace console {

// The terminal's encoding as iconv names it: the locale's codeset, or UTF-8
// when the locale names plain ASCII. Reads the locale; call after setlocale.
// On Windows the console takes UTF-16 and the program's texts at that edge
// (typed keys, echo) are UTF-8: the answer there is always UTF-8.
std::string terminal_encoding();

// One conversion between two encodings named as iconv names them ("CP949",
// "UTF-8"; on Windows also "CPnnn" for a code page), owned: iconv on POSIX,
// the system's code pages on Windows. Not shared between threads.
class Converter {
  public:
    Converter(const std::string& from, const std::string& to);
    ~Converter();
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool ok() const;

    // Converts the whole of `in`. A character with no form in the target
    // encoding, or a malformed byte sequence, becomes one '?' and conversion
    // goes on after it, so nothing that follows is lost or shifted. A '?' can
    // never complete a word of the game, whose words are Hangul only.
    std::string convert(std::string_view in);

  private:
    struct State;  // the platform's conversion state
    std::unique_ptr<State> state_;
};

}  // namespace console
