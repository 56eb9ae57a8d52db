// The loop on the Windows console: one WaitForMultipleObjects on the
// console's request to end, its input handle and an event for each socket,
// with the deadline as its timeout. Key events come out as the bytes a
// terminal would send: typed text as UTF-8, the arrows and Esc as their VT
// sequences, so that the same decoders serve both platforms.
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "console/console_detail.h"
#include "console/encoding_win32.h"
#include "console/loop.h"
#include "console/output_win32.h"

namespace console {

namespace {

// The UTF-8 that one key event types, if any; `high` keeps the first half of
// a character outside the Basic Multilingual Plane until its second comes.
std::string typed_by(const KEY_EVENT_RECORD& key, wchar_t& high) {
    wchar_t ch = key.uChar.UnicodeChar;
    // A character typed as Alt + digits on the number pad arrives as the
    // Alt key's release.
    bool alt_code = !key.bKeyDown && key.wVirtualKeyCode == VK_MENU && ch != 0;
    if ((!key.bKeyDown && !alt_code) || ch == 0) return {};
    if (ch == 0x1b) return {};  // Escape means nothing in a line
    std::wstring chars;
    if (IS_HIGH_SURROGATE(ch)) {
        high = ch;
        return {};
    }
    if (IS_LOW_SURROGATE(ch)) {
        if (high == 0) return {};
        chars = {high, ch};
    } else {
        chars.assign(1, ch);
    }
    high = 0;
    std::string one = from_wide(chars, kCodePageUtf8);
    std::string out;
    for (WORD i = 0; i < (key.wRepeatCount == 0 ? 1 : key.wRepeatCount); ++i) out += one;
    return out;
}

// The bytes one key event stands for, as a terminal would send them.
std::string bytes_of(const KEY_EVENT_RECORD& key, wchar_t& high) {
    if (key.bKeyDown) {
        switch (key.wVirtualKeyCode) {
            case VK_UP:
                return "\x1b[A";
            case VK_DOWN:
                return "\x1b[B";
            case VK_RIGHT:
                return "\x1b[C";
            case VK_LEFT:
                return "\x1b[D";
            case VK_ESCAPE:
                return "\x1b";
            default:
                break;
        }
    }
    return typed_by(key, high);
}

// The first half of a character outside the Basic Multilingual Plane,
// waiting for its second.
wchar_t g_high_surrogate = 0;

void read_keys(Turn& turn) {
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        DWORD waiting = 0;
        if (!::GetNumberOfConsoleInputEvents(in, &waiting)) break;
        if (waiting == 0) return;
        INPUT_RECORD recs[64];
        DWORD got = 0;
        if (!::ReadConsoleInputW(in, recs, 64, &got)) break;
        for (DWORD i = 0; i < got; ++i) {
            // Focus, mouse, size and menu events type nothing.
            if (recs[i].EventType == KEY_EVENT)
                turn.keys += bytes_of(recs[i].Event.KeyEvent, g_high_surrogate);
        }
    }
    state().input_ended = true;  // the console is gone
    turn.keys_ended = true;
}

// The watched sockets that are ready now, without waiting.
void find_ready(std::span<const Watch> watches, Turn& turn) {
    std::vector<WSAPOLLFD> fds;
    for (const Watch& w : watches) {
        fds.push_back({static_cast<SOCKET>(w.sock),
                       static_cast<SHORT>(POLLRDNORM | (w.write ? POLLWRNORM : 0)), 0});
    }
    if (fds.empty() || ::WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), 0) <= 0) return;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0) turn.ready.push_back(watches[i].sock);
    }
}

DWORD timeout_ms(std::optional<Clock::time_point> deadline) {
    if (!deadline) return INFINITE;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left, 1 << 30));
}

}  // namespace

Turn next_turn(Keys keys, std::span<const Watch> watches,
               std::optional<Clock::time_point> deadline) {
    ConsoleState& s = state();
    for (;;) {
        present_pending();
        Turn turn;
        // A socket event is recorded only when its state changes after the
        // event is selected: what is ready already is looked at first.
        find_ready(watches, turn);
        std::vector<HANDLE> waits;
        if (HANDLE end = end_requested()) waits.push_back(end);
        const bool take_keys = keys == Keys::take && !s.input_ended;
        const std::size_t keys_at = waits.size();
        if (take_keys) waits.push_back(::GetStdHandle(STD_INPUT_HANDLE));
        std::vector<WSAEVENT> events;
        for (const Watch& w : watches) {
            WSAEVENT e = ::WSACreateEvent();
            if (e == WSA_INVALID_EVENT) continue;
            ::WSAEventSelect(static_cast<SOCKET>(w.sock), e,
                             FD_READ | FD_ACCEPT | FD_CLOSE | (w.write ? FD_WRITE | FD_CONNECT : 0));
            events.push_back(e);
            waits.push_back(e);
        }
        const DWORD r =
            turn.ready.empty()
                ? ::WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                                           timeout_ms(deadline))
                : WAIT_TIMEOUT;
        for (std::size_t i = 0; i < watches.size() && i < events.size(); ++i) {
            ::WSAEventSelect(static_cast<SOCKET>(watches[i].sock), nullptr, 0);
            ::WSACloseEvent(events[i]);
        }
        if (end_requested() != nullptr && r == WAIT_OBJECT_0) end_on_request();
        if (take_keys && r == WAIT_OBJECT_0 + keys_at) read_keys(turn);
        if (turn.ready.empty()) find_ready(watches, turn);
        if (deadline && Clock::now() >= *deadline) turn.timed_out = true;
        if (!turn.keys.empty() || turn.keys_ended || !turn.ready.empty() || turn.timed_out)
            return turn;
    }
}

void discard_typed_keys() { ::FlushConsoleInputBuffer(::GetStdHandle(STD_INPUT_HANDLE)); }

}  // namespace console
