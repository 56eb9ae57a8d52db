// What each platform's console file provides to the shared console code.
#pragma once

#include <string>

namespace console {

// Draws CP949 text at the cursor in the current colour, as one drawing step.
void write_cp949(const std::string& text);

}  // namespace console
