// The line being typed, kept by the program itself over raw key input: the
// terminal delivers every byte at once and echoes nothing, so deciding what a
// key does to the line, and how wide the line is on screen, happens here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/text_scan.h"

namespace console {

// How the terminal frames the characters it sends.
enum class Framing {
    utf8,         // UTF-8, one to four bytes a character
    double_byte,  // CP949 / EUC-KR: ASCII, or a lead byte and a trail byte
};

// The framing of an encoding as iconv names it (terminal_encoding()). Anything
// that is not a Korean double-byte code page is read as UTF-8.
Framing framing_of(std::string_view encoding);

// The cells a terminal gives the printable character `cp`: 0 for marks of
// no width of their own, 2 for wide characters, else 1.
int cell_width(std::uint32_t cp);

// Appends code point `cp` (at most U+10FFFF) to `out` in UTF-8.
void append_utf8(std::string& out, std::uint32_t cp);

// Pure: fed terminal input a byte at a time, it keeps the line in the
// terminal's encoding and its width in cells. A character or escape sequence
// split across reads carries over.
//
//  - Backspace (DEL 0x7f or ^H 0x08) removes the last whole character.
//  - Enter (CR or LF; CR LF counts once) ends the line.
//  - Other control bytes, and C1 controls, are ignored.
//  - Escape sequences (ESC [ ... final, ESC O x) are consumed and ignored, by
//    the rules of KeyDecoder: a byte that cannot belong to the sequence ends
//    it and counts as typed, so a sequence never swallows the next key.
//  - A malformed byte sequence becomes one '?' in the line: it shows on screen
//    and can never complete a word, whose characters are all Hangul.
//  - Characters of no width (combining marks, joiners, variation selectors)
//    are dropped, so the line holds exactly what its echo shows.
//  - Past kMaxBytes, further characters are dropped.
//  - Pasted text, between the terminal's marks ESC [ 200 ~ and ESC [ 201 ~,
//    is typed text when pastes are taken; when they are dropped, all of it
//    is dropped, Enter and Backspace included.
class LineEditor {
  public:
    static constexpr std::size_t kMaxBytes = 1024;

    enum class Pastes { take, drop };

    explicit LineEditor(Framing framing = Framing::utf8, Pastes pastes = Pastes::take)
        : framing_(framing), pastes_(pastes) {}

    // Between the marks of a paste.
    bool pasting() const { return pasting_; }
    // A paste was dropped since the last call.
    bool take_dropped_paste() { return std::exchange(dropped_paste_, false); }

    // Feeds one byte. True when the byte was Enter: the line is complete and
    // must be taken with take_line() before anything more is fed.
    bool feed(std::uint8_t byte);

    // True inside an escape sequence. A terminal sends a sequence in one go,
    // so when input pauses here the sequence was cut off (or the ESC was the
    // Escape key): end_escape() then drops it, and says whether it was the
    // Escape key, an ESC with nothing after it.
    bool in_escape() const { return escape_.active(); }
    bool end_escape() {
        const bool escape_key = escape_.awaiting();
        escape_.reset();
        return escape_key;
    }
    // Neither in an escape sequence nor in the middle of a character.
    bool between_characters() const { return !in_escape() && !in_char(); }

    const std::string& text() const { return text_; }
    int width() const { return width_; }

    struct Tail {
        std::string_view text;
        int width;
    };
    // The longest end of the line, in whole characters, that fits in `cells`.
    Tail tail(int cells) const;

    // Hands over the line and starts an empty one. A CR just fed still pairs
    // with an LF that follows.
    std::string take_line();

    // Drops the line and any sequence or character fed in part.
    void clear();

  private:
    struct Glyph {
        std::uint8_t bytes;
        std::uint8_t width;
    };

    bool in_char() const { return utf8_.in_char() || have_lead_; }
    bool continue_char(std::uint8_t b);
    bool ground(std::uint8_t b, bool after_cr);
    void start_char(std::uint8_t b);
    void finish_utf8();
    void malformed();
    void append(const char* bytes, std::size_t n, int width);
    void backspace();

    Framing framing_;
    Pastes pastes_;
    bool pasting_ = false;  // between the marks of a paste
    bool dropped_paste_ = false;
    std::string text_;
    std::vector<Glyph> glyphs_;
    int width_ = 0;

    EscapeScanner escape_;
    bool after_cr_ = false;

    // A character fed in part: UTF-8, or the lead byte of a double-byte pair.
    Utf8Decoder utf8_;
    char lead_ = 0;
    bool have_lead_ = false;
    // After a malformed sequence, its stray continuation bytes belong to the
    // same '?'.
    bool skipping_ = false;
};

}  // namespace console
