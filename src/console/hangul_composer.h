// Two-set (두벌식, KS X 5002) Hangul composition of letter keys, for a
// terminal without a Korean input method: `d k s s u d` gives 안녕, and the
// shifted R E Q T W O P give ㄲ ㄸ ㅃ ㅆ ㅉ ㅒ ㅖ. The line editor stays a
// pure decoder; feed_key puts a composer in front of it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "console/line_editor.h"

namespace console {

// Texts in and out are in the terminal's encoding.
class HangulComposer {
  public:
    virtual ~HangulComposer() = default;
    // Takes the ASCII letter `key`; returns the syllables it completes.
    virtual std::string letter(char key) = 0;
    // Takes back the last jamo of the syllable being composed; false when
    // no syllable was being composed.
    virtual bool backspace() = 0;
    // Ends the syllable being composed and returns it; empty if none was.
    virtual std::string commit() = 0;
    // Drops the syllable being composed.
    virtual void reset() = 0;
    // The syllable (or lone jamo) being composed; empty if none is.
    virtual const std::string& preedit() const = 0;
};

// The cells of a non-empty preedit: one syllable or jamo, two cells wide.
inline constexpr int kPreeditCells = 2;

// A composer for a terminal of `encoding` (terminal_encoding()). None on
// Windows, whose console composes Hangul with its own input method, nor when
// the composition library cannot make one.
std::unique_ptr<HangulComposer> make_hangul_composer(const std::string& encoding);

// Feeds one byte of terminal input to `editor`, through `composer` unless it
// is null. Between characters and escape sequences an ASCII letter goes to
// the composer and what it completes joins the line; Backspace takes a jamo
// while a syllable is being composed; any other byte ends the syllable, which
// joins the line, and then does what it always does. Returns what
// LineEditor::feed returns.
bool feed_key(LineEditor& editor, HangulComposer* composer, std::uint8_t byte);

}  // namespace console
