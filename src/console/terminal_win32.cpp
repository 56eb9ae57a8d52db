// Taking over the Windows console and giving it back: the input mode, and a
// screen buffer of the program's own, drawn on in place of the player's (as
// the alternate screen of a terminal), the player's made active again on
// normal exit, on Ctrl+C, Ctrl+Break and the closing of the window, and
// after a crash.
#include <windows.h>

#include <atomic>

#include "console/console.h"
#include "console/console_detail.h"
#include "console/output_win32.h"
#include "console/terminal.h"

namespace console {

namespace {

// What the program found, written once before the handlers are installed.
// The output's modes, cursor and screen are given back only when the program
// had to draw on the player's own buffer.
struct Saved {
    HANDLE in = INVALID_HANDLE_VALUE;
    HANDLE out = INVALID_HANDLE_VALUE;
    DWORD in_mode = 0;
    DWORD out_mode = 0;
    bool have_out = false;
    CONSOLE_CURSOR_INFO cursor{};
    CONSOLE_SCREEN_BUFFER_INFO screen{};
};
Saved g_saved;
bool g_taken = false;
std::atomic<bool> g_restored{false};

// The player's screen buffer, as a handle opened before the program's own
// was made active (under wine, SetConsoleActiveScreenBuffer on the standard
// output handle does nothing), and the program's own: both written by the
// loop's thread, before g_own, which says that the switch was made.
HANDLE g_player = INVALID_HANDLE_VALUE;
std::atomic<HANDLE> g_own{nullptr};

// The console's window can never be larger than its buffer: shrink the
// window first, then set the buffer, then open the window to `window`, or
// as much of it as the screen and the font allow.
void set_buffer_and_window(HANDLE h, COORD buffer, SMALL_RECT window) {
    SMALL_RECT tiny{0, 0, 0, 0};
    ::SetConsoleWindowInfo(h, TRUE, &tiny);
    ::SetConsoleScreenBufferSize(h, buffer);
    COORD largest = ::GetLargestConsoleWindowSize(h);
    if (largest.X > 0 && window.Right - window.Left + 1 > largest.X) {
        window.Right = static_cast<SHORT>(window.Left + largest.X - 1);
    }
    if (largest.Y > 0 && window.Bottom - window.Top + 1 > largest.Y) {
        window.Bottom = static_cast<SHORT>(window.Top + largest.Y - 1);
    }
    ::SetConsoleWindowInfo(h, TRUE, &window);
}

// Makes a screen buffer of the program's own the active one, once, and
// returns the buffer to draw on: the program's own, or the standard output
// when the console gives no buffer of its own.
HANDLE take_own_buffer() {
    if (HANDLE own = g_own.load()) return own;
    HANDLE player = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    if (player == INVALID_HANDLE_VALUE) return g_saved.out;
    HANDLE own = ::CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (own == INVALID_HANDLE_VALUE || !::SetConsoleActiveScreenBuffer(own)) {
        if (own != INVALID_HANDLE_VALUE) ::CloseHandle(own);
        ::CloseHandle(player);
        return g_saved.out;
    }
    g_player = player;
    g_own.store(own);
    return own;
}

// Gives everything back once, from whichever way out comes first.
void restore_console() {
    if (g_restored.exchange(true)) return;
    ::SetConsoleMode(g_saved.in, g_saved.in_mode);
    if (g_own.load() != nullptr) {
        // The player's buffer was never drawn on: active again, it shows
        // what it showed before, in its own size, colour and cursor.
        ::SetConsoleActiveScreenBuffer(g_player);
        return;
    }
    if (!g_saved.have_out) return;
    ::SetConsoleMode(g_saved.out, g_saved.out_mode);
    ::SetConsoleTextAttribute(g_saved.out, g_saved.screen.wAttributes);
    CONSOLE_SCREEN_BUFFER_INFO now;
    if (::GetConsoleScreenBufferInfo(g_saved.out, &now) &&
        (now.dwSize.X != g_saved.screen.dwSize.X || now.dwSize.Y != g_saved.screen.dwSize.Y)) {
        set_buffer_and_window(g_saved.out, g_saved.screen.dwSize, g_saved.screen.srWindow);
    }
    // The board was drawn on the player's buffer: leave it blank in the old
    // colour.
    const DWORD cells =
        static_cast<DWORD>(g_saved.screen.dwSize.X) * static_cast<DWORD>(g_saved.screen.dwSize.Y);
    DWORD done = 0;
    ::FillConsoleOutputCharacterW(g_saved.out, L' ', cells, COORD{0, 0}, &done);
    ::FillConsoleOutputAttribute(g_saved.out, g_saved.screen.wAttributes, cells, COORD{0, 0},
                                 &done);
    ::SetConsoleCursorPosition(g_saved.out, COORD{0, 0});
    ::SetConsoleCursorInfo(g_saved.out, &g_saved.cursor);
}

// How long a console event waits for the loop to end the program.
constexpr DWORD kLoopWaitMs = 1000;

// Set by a console event, for the loop (manual reset).
HANDLE g_end_requested = nullptr;

// Runs on a thread the system starts for the event. It only tells the loop,
// which ends the program between two drawing steps; a loop that does not
// come round in time does not keep the program from ending.
BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: {
            if (g_end_requested != nullptr) {
                ::SetEvent(g_end_requested);
                ::Sleep(kLoopWaitMs);
            }
            restore_console();
            ::ExitProcess(STATUS_CONTROL_C_EXIT);
        }
        default:
            return FALSE;
    }
}

// A crash: give the console back without waiting for any lock (the crashed
// thread may hold it), then let the crash take its course.
LONG WINAPI on_crash(EXCEPTION_POINTERS*) {
    restore_console();
    return EXCEPTION_CONTINUE_SEARCH;
}

// True when the console's window shows at least 169x50 cells; `now` is its
// size.
bool window_fits(HANDLE h, COORD& now) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(h, &info)) return true;  // no console to size
    now.X = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
    now.Y = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
    return now.X >= kScreenWidth && now.Y >= kScreenHeight;
}

}  // namespace

HANDLE end_requested() { return g_end_requested; }

void end_on_request() {
    run_before_end();
    restore_console();
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

HANDLE console_output() {
    HANDLE own = g_own.load();
    return own != nullptr ? own : ::GetStdHandle(STD_OUTPUT_HANDLE);
}

TerminalSession::TerminalSession() {
    g_saved.in = ::GetStdHandle(STD_INPUT_HANDLE);
    g_saved.out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!::GetConsoleMode(g_saved.in, &g_saved.in_mode)) {
        error_ = kNotATerminal;
        return;
    }
    g_saved.have_out = ::GetConsoleMode(g_saved.out, &g_saved.out_mode) &&
                       ::GetConsoleCursorInfo(g_saved.out, &g_saved.cursor) &&
                       ::GetConsoleScreenBufferInfo(g_saved.out, &g_saved.screen);
    g_taken = true;
    g_end_requested = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
    ::SetUnhandledExceptionFilter(on_crash);

    // Key events one by one, as they are typed: no line editing and no echo
    // by the console (the program echoes typed text itself), window size
    // events for set_fullscreen, and no quick edit, whose selection would
    // freeze every drawing step until the player clicks again. Ctrl+C stays
    // a console event (ENABLE_PROCESSED_INPUT), which ends the program with
    // the console given back.
    ::SetConsoleMode(g_saved.in,
                     ENABLE_PROCESSED_INPUT | ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS);
}

TerminalSession::~TerminalSession() {
    if (!g_taken) return;
    clear_cursor_rest();
    restore_console();
    ::SetConsoleCtrlHandler(on_console_event, FALSE);
}

void set_fullscreen() {
    HANDLE h;
    {
        DrawStep step;
        h = take_own_buffer();
        // Text goes where the cursor is placed and wraps at the edge of the
        // buffer, as the program's layouts expect; no VT interpretation.
        ::SetConsoleMode(h, ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT);
        // Windows 10 and later refuse full-screen display for console
        // programs; the 169x50 window below is what the board needs anyway.
        ::SetConsoleDisplayMode(h, CONSOLE_FULLSCREEN_MODE, nullptr);
    }
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        COORD now{};
        {
            DrawStep step;
            set_buffer_and_window(h, COORD{kScreenWidth, kScreenHeight},
                                  SMALL_RECT{0, 0, kScreenWidth - 1, kScreenHeight - 1});
            if (window_fits(h, now)) return;
            set_color(kGrey);
            clear_screen();
            set_cursor(0, 0);
            print_text(kTooSmallNeeded, kScreenWidth, kScreenHeight);
            set_cursor(0, 1);
            print_text(kTooSmallNow, now.X, now.Y);
        }
        // Wait for the window to change. The classic console reports only
        // changes of its buffer; a player who made the font smaller instead
        // can press any key to have the size looked at again.
        for (;;) {
            INPUT_RECORD rec;
            DWORD got = 0;
            if (!::ReadConsoleInputW(in, &rec, 1, &got)) return;  // no keyboard: draw anyway
            if (got == 1 && (rec.EventType == WINDOW_BUFFER_SIZE_EVENT ||
                             (rec.EventType == KEY_EVENT && rec.Event.KeyEvent.bKeyDown))) {
                break;
            }
        }
    }
}

}  // namespace console
