// Line input on the Windows console: key events (ReadConsoleInputW) fed to the
// program's own line editor as UTF-8, waiting with WaitForMultipleObjects on
// the input handle and an event, so that a cancel from another thread ends
// the wait at once. The console's Korean input method delivers each composed
// syllable as a key event carrying the character.
#include <windows.h>

#include "console/console.h"
#include "console/encoding_win32.h"
#include "console/line_input.h"

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

}  // namespace

// cancel() sets `event` (manual reset) to end a wait; resume() clears it.
// The first half of a surrogate pair waits here for its second.
struct LineInput::Wakeup {
    HANDLE event = nullptr;
    wchar_t high_surrogate = 0;
};

// Keys never compose here: the console's input method does (see
// make_hangul_composer).
LineInput::LineInput(Composition, EnterEcho enter_echo)
    : editor_(Framing::utf8),
      enter_echo_(enter_echo),
      to_cp949_("UTF-8", "CP949"),
      wake_(std::make_unique<Wakeup>()) {
    wake_->event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

LineInput::~LineInput() {
    if (wake_->event != nullptr) ::CloseHandle(wake_->event);
}

LineRead LineInput::read_line(Field field) {
    if (cancelled_.load()) return {ReadStatus::cancelled, {}};
    draw(field);
    HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        if (cancelled_.load()) {
            drop_typed();
            clear_cursor_rest();
            return {ReadStatus::cancelled, {}};
        }
        LineRead read;
        if (!kept_.empty() && feed_kept(field, read)) {
            clear_cursor_rest();
            return read;
        }

        HANDLE waits[2] = {in, wake_->event};
        DWORD count = wake_->event != nullptr ? 2 : 1;
        // Without an event (none could be made) a wait looks at the cancel
        // request every 100 ms instead.
        DWORD r = ::WaitForMultipleObjects(count, waits, FALSE, count == 2 ? INFINITE : 100);
        if (r == WAIT_TIMEOUT || r == WAIT_OBJECT_0 + 1) continue;  // cancel: seen at the top
        if (r != WAIT_OBJECT_0) break;
        INPUT_RECORD recs[64];
        DWORD got = 0;
        if (!::ReadConsoleInputW(in, recs, 64, &got)) break;  // the console is gone
        for (DWORD i = 0; i < got; ++i) {
            if (recs[i].EventType != KEY_EVENT) continue;  // focus, mouse, size, menu
            const KEY_EVENT_RECORD& key = recs[i].Event.KeyEvent;
            // Backspace and Enter give their control characters; keys with
            // none (arrows, function keys) type nothing.
            kept_ += typed_by(key, wake_->high_surrogate);
        }
    }
    drop_typed();
    clear_cursor_rest();
    return {ReadStatus::ended, {}};
}

void LineInput::cancel() {
    cancelled_.store(true);
    if (wake_->event != nullptr) ::SetEvent(wake_->event);
}

void LineInput::resume() {
    if (wake_->event != nullptr) ::ResetEvent(wake_->event);
    cancelled_.store(false);
    drop_typed();
}

void LineInput::discard_pending_input() {
    drop_typed();
    ::FlushConsoleInputBuffer(::GetStdHandle(STD_INPUT_HANDLE));
}

}  // namespace console
