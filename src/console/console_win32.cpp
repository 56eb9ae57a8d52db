// The console on Windows: the console's own functions on the standard output
// handle, text converted from CP949 and written as UTF-16 (WriteConsoleW), so
// the board reads right whatever code page the console has.
#include <windows.h>

#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"
#include "console/encoding_win32.h"
#include "console/keys.h"
#include "console/output_win32.h"

namespace console {

namespace {

struct ConsoleState {
    std::recursive_timed_mutex lock;
    int in_fd = 0;
    int out_fd = 1;
    int depth = 0;  // nesting of drawing steps on the thread holding the lock
    bool resting = false;
    int rest_x = 0;
    int rest_y = 0;
};

ConsoleState& state() {
    static ConsoleState s;
    return s;
}

// Every primitive asks for the handle anew: the screen buffer drawn on
// changes when set_fullscreen makes the program's own buffer active.
HANDLE out() { return console_output(); }

void place(int x, int y) {
    COORD pos{static_cast<SHORT>(x), static_cast<SHORT>(y)};
    ::SetConsoleCursorPosition(out(), pos);
}

// Writes all of `text`, looping on partial writes. A console that is gone
// takes nothing more; there is no one to report it to on screen.
void write_wide(const std::wstring& text) {
    const wchar_t* p = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteConsoleW(out(), p, left, &written, nullptr) || written == 0) return;
        p += written;
        left -= written;
    }
}

}  // namespace

// The console has no descriptors: the two numbers are kept for callers that
// ask, and every call goes to the standard handles.
void open_console(int in_fd, int out_fd) {
    ConsoleState& s = state();
    std::lock_guard guard(s.lock);
    s.in_fd = in_fd;
    s.out_fd = out_fd;
}

int console_in() { return state().in_fd; }
int console_out() { return state().out_fd; }

DrawStep::DrawStep() : lock_(state().lock) { ++state().depth; }

DrawStep::~DrawStep() {
    ConsoleState& s = state();
    if (--s.depth == 0 && s.resting) place(s.rest_x, s.rest_y);
}

bool end_drawing(std::chrono::milliseconds wait) { return state().lock.try_lock_for(wait); }

void set_cursor(int x, int y) {
    DrawStep step;
    place(x, y);
}

void set_cursor_grid(int col, int row) { set_cursor(3 * col, row); }

void set_color(Attr attr) {
    DrawStep step;
    ::SetConsoleTextAttribute(out(), attr);
}

void hide_cursor() {
    DrawStep step;
    CONSOLE_CURSOR_INFO cursorInfo{1, FALSE};  // size 1 %, the smallest allowed
    ::SetConsoleCursorInfo(out(), &cursorInfo);
}

void clear_screen() {
    DrawStep step;
    HANDLE h = out();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(h, &info)) return;
    // Blank every cell of the buffer in the current colour on black, as the
    // colours the program sets all have a black background.
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    const COORD home{0, 0};
    DWORD done = 0;
    ::FillConsoleOutputCharacterW(h, L' ', cells, home, &done);
    ::FillConsoleOutputAttribute(h, info.wAttributes & 0xFF0F, cells, home, &done);
    ::SetConsoleCursorPosition(h, home);
}

void write_cp949(const std::string& text) {
    std::wstring wide = to_wide(text, kCodePageCp949);
    DrawStep step;
    write_wide(wide);
}

void write_raw(const char* bytes, std::size_t n) {
    std::wstring wide = to_wide(std::string_view(bytes, n), kCodePageUtf8);
    DrawStep step;
    write_wide(wide);
}

void set_cursor_rest(int x, int y) {
    DrawStep step;
    ConsoleState& s = state();
    s.resting = true;
    s.rest_x = x;
    s.rest_y = y;
}

void clear_cursor_rest() {
    DrawStep step;
    state().resting = false;
}

int read_key() {
    // The menu is the only caller, on the main thread. A key whose character
    // takes two CP949 bytes gives them one per call, as _getch does.
    static std::string queued;
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    while (queued.empty()) {
        INPUT_RECORD rec;
        DWORD got = 0;
        if (!::ReadConsoleInputW(in, &rec, 1, &got)) return -1;
        if (got == 0 || rec.EventType != KEY_EVENT || !rec.Event.KeyEvent.bKeyDown) continue;
        const KEY_EVENT_RECORD& key = rec.Event.KeyEvent;
        switch (key.wVirtualKeyCode) {
            case VK_UP:
                queued = {char(kArrowPrefix), char(kArrowUp)};
                continue;
            case VK_DOWN:
                queued = {char(kArrowPrefix), char(kArrowDown)};
                continue;
            case VK_LEFT:
                queued = {char(kArrowPrefix), char(kArrowLeft)};
                continue;
            case VK_RIGHT:
                queued = {char(kArrowPrefix), char(kArrowRight)};
                continue;
            default:
                break;
        }
        if (key.uChar.UnicodeChar != 0) {
            queued = from_wide(std::wstring(1, key.uChar.UnicodeChar), kCodePageCp949);
        }
    }
    int key = static_cast<unsigned char>(queued.front());
    queued.erase(0, 1);
    return key;
}

KeysWaiting take_waiting_keys() {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    bool escape = false;
    for (;;) {
        DWORD waiting = 0;
        if (!::GetNumberOfConsoleInputEvents(in, &waiting)) return KeysWaiting::ended;
        if (waiting == 0) break;
        INPUT_RECORD recs[64];
        DWORD got = 0;
        if (!::ReadConsoleInputW(in, recs, 64, &got)) return KeysWaiting::ended;
        for (DWORD i = 0; i < got; ++i) {
            const INPUT_RECORD& rec = recs[i];
            escape = escape || (rec.EventType == KEY_EVENT && rec.Event.KeyEvent.bKeyDown &&
                                rec.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE);
        }
    }
    return escape ? KeysWaiting::escape : KeysWaiting::none;
}

}  // namespace console
