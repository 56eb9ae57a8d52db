// Line input on a POSIX terminal: typed bytes in the terminal's encoding,
// letter keys composed into Hangul by the program where asked.
#include "console/line_input.h"

namespace console {

LineInput::LineInput(Composition composition, LineEditor::Pastes pastes)
    : editor_(framing_of(terminal_encoding()), pastes),
      composer_(composition == Composition::hangul ? make_hangul_composer(terminal_encoding())
                                                   : nullptr),
      to_cp949_(terminal_encoding(), "CP949") {}

}  // namespace console
