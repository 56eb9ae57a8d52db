// Line input on the Windows console: typed text arrives as UTF-8 (loop_win32
// turns the console's key events into it), and the console's Korean input
// method composes the syllables: the program composes none.
#include "console/line_input.h"

namespace console {

LineInput::LineInput(Composition)
    : editor_(Framing::utf8), to_cp949_("UTF-8", "CP949") {}

}  // namespace console
