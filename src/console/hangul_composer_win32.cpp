// On Windows the console's own Korean input method composes Hangul and
// delivers whole syllables as key events: the program composes nothing.
// (Debian has no libhangul for the cross-build.)
#include "console/hangul_composer.h"

namespace console {

std::unique_ptr<HangulComposer> make_hangul_composer(const std::string&) { return nullptr; }

}  // namespace console
