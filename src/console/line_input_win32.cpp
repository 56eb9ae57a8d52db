// Line input on the Windows console: typed text arrives as UTF-8 (loop_win32
// turns the console's key events into it), and the console's Korean input
// method composes the syllables: the program composes none.
#include "console/line_input.h"

namespace console {

// The console marks no paste: its pasted text comes as keys, and only the
// speed it comes at tells it from typing (LineRead::burst).
LineInput::LineInput(Composition, LineEditor::Pastes pastes)
    : editor_(Framing::utf8, pastes), to_cp949_("UTF-8", "CP949") {}

}  // namespace console
