// Which console screen buffer the Win32 console files draw on, and the
// console's request to end. For the Win32 files only.
#pragma once

#include <windows.h>

namespace console {

// The program's own screen buffer once set_fullscreen has made it the active
// one; the standard output before that, or when no buffer of its own could
// be made. Stays the program's buffer after the player's is active again, so
// a drawing step that comes late lands where nobody sees it.
HANDLE console_output();

// Set when Ctrl+C, Ctrl+Break or the closing of the window asks the program
// to end (terminal_win32.cpp): the loop waits on it too, and then ends the
// program with the console given back.
HANDLE end_requested();
[[noreturn]] void end_on_request();

}  // namespace console
