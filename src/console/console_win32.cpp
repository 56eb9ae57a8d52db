// The console on Windows: the model of the screen presented with the
// console's own functions on the standard output handle, text written as
// UTF-16 (WriteConsoleW), so the board reads right whatever code page the
// console has.
#include <windows.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"
#include "console/encoding_win32.h"
#include "console/output_win32.h"

namespace console {

namespace {

// Every call asks for the handle anew: the screen buffer drawn on changes
// when set_fullscreen makes the program's own buffer active.
HANDLE out() { return console_output(); }

// Writes all of `text`, looping on partial writes. A console that is gone
// takes nothing more; there is no one to report it to on screen.
void write_wide(HANDLE h, const std::wstring& text) {
    const wchar_t* p = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteConsoleW(h, p, left, &written, nullptr) || written == 0) return;
        p += written;
        left -= written;
    }
}

void pen(HANDLE h, Shown& shown, Attr attr) {
    if (shown.attr == attr) return;
    // The underline bit is COMMON_LVB_UNDERSCORE. Without colours, every
    // text is the console's ordinary grey.
    ::SetConsoleTextAttribute(h, state().no_colour ? (attr & kUnderline) | kGrey : attr);
    shown.attr = attr;
}

}  // namespace

// A run of one colour is one placement and one write: the console's own
// idea of a character's width may not be the model's, so every run is
// placed where the model has it.
void present(Screen& screen) {
    const int cursor_x = screen.x();
    const int cursor_y = screen.y();
    Screen::Changes changes = screen.take_changes();
    Shown& shown = state().shown;
    HANDLE h = out();
    if (changes.cleared) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (::GetConsoleScreenBufferInfo(h, &info)) {
            // Blank every cell of the buffer on black, as the colours the
            // program sets all have a black background.
            const DWORD cells =
                static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
            DWORD done = 0;
            ::FillConsoleOutputCharacterW(h, L' ', cells, COORD{0, 0}, &done);
            ::FillConsoleOutputAttribute(h, changes.clear_attr & 0xFF0F, cells, COORD{0, 0}, &done);
        }
    }
    for (const Screen::Run& run : changes.runs) {
        ::SetConsoleCursorPosition(h, COORD{static_cast<SHORT>(run.x), static_cast<SHORT>(run.y)});
        pen(h, shown, run.attr);
        write_wide(h, to_wide(run.text, kCodePageUtf8));
        shown.x = -1;
    }
    if (shown.x != cursor_x || shown.y != cursor_y) {
        ::SetConsoleCursorPosition(
            h, COORD{static_cast<SHORT>(cursor_x), static_cast<SHORT>(cursor_y)});
        shown.x = cursor_x;
        shown.y = cursor_y;
    }
    if (screen.cursor_hidden() && !shown.cursor_hidden) {
        CONSOLE_CURSOR_INFO cursorInfo{1, FALSE};  // size 1 %, the smallest allowed
        ::SetConsoleCursorInfo(h, &cursorInfo);
        shown.cursor_hidden = true;
    }
}

}  // namespace console
