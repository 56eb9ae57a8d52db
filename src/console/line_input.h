// Reading one typed line from the console, echoed into a field of the screen,
// in a way that another thread can cancel.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "console/encoding.h"
#include "console/hangul_composer.h"
#include "console/line_editor.h"

namespace console {

// Where the echo of a line goes: `width` cells from cell (x, y). The echo
// never leaves these cells; the cursor may rest on the cell just after them
// when the line fills the field.
struct Field {
    int x;
    int y;
    int width;
};

enum class ReadStatus {
    line,       // Enter was pressed; the line is in `line`
    cancelled,  // cancel() was called
    ended,      // the console's input has ended or failed
};

struct LineRead {
    ReadStatus status;
    std::string line;  // CP949, without the Enter; empty unless status is line
    // When the first key of the line was read (for a line: its Enter was
    // read at the moment read_line returned it).
    std::chrono::steady_clock::time_point first_key{};
};

// Whether letter keys compose Hangul (two-set) as they are typed: for the
// duel's words, never for an address.
enum class Composition { none, hangul };

// What the Enter that ends a line draws: the line as it now stands (the
// syllable being composed no longer underlined), or nothing, for a caller
// that draws the field again in a step of its own right after.
enum class EnterEcho { line, none };

// Reads lines from console_in() with the line discipline of LineEditor.
// Make it after open_console(): it reads the terminal's encoding then.
//
// One thread at a time reads (read_line, resume, discard_pending_input);
// cancel() may come from any thread at any time.
class LineInput {
  public:
    explicit LineInput(Composition composition = Composition::none,
                       EnterEcho enter_echo = EnterEcho::line);
    ~LineInput();
    LineInput(const LineInput&) = delete;
    LineInput& operator=(const LineInput&) = delete;

    // Blocks until a line has been typed, the read is cancelled, or input
    // ends. The field is drawn at once and after every key that changes the
    // line, each time as one drawing step: the end of the line that fits,
    // then blanks to the end of the field. While the read waits, the cursor
    // rests right after the typed text. The echo is drawn in whatever colour
    // is current, as a console's own echo would be. A syllable being
    // composed shows underlined after the text, with the cursor after it.
    //
    // The Enter draws as `enter_echo` says.
    //
    // Input that arrives after the Enter is kept for the next read, so lines
    // typed in one burst come out one per read. Lines kept from before the
    // end of input are still returned before `ended`.
    LineRead read_line(Field field);

    // Makes the read in progress, and every later one until resume(), return
    // `cancelled` promptly without taking any more input. What was typed of
    // the line, and what was kept after an earlier Enter, is dropped: it was
    // meant for the read that was abandoned. The screen is left as it is.
    void cancel();

    // Lets reads run again after cancel(). Input typed since the cancel is
    // still waiting in the terminal and goes to the next read.
    void resume();

    // Drops the line typed so far, what was kept after an Enter, and every
    // key waiting in the terminal: for keys typed while no read was wanted.
    void discard_pending_input();

    // Puts `cp949` in the line, in place of what was typed so far, as if it
    // had been typed: the next read starts from it, the cursor after it.
    void set_line(std::string_view cp949);

  private:
    void draw(Field field) const;
    void drop_typed();
    // Feeds what was read and not yet fed, up to and including an Enter,
    // then draws the field as read_line says. True, with the line in `read`,
    // after an Enter.
    bool feed_kept(Field field, LineRead& read);

    LineEditor editor_;
    std::unique_ptr<HangulComposer> composer_;  // none when keys do not compose
    EnterEcho enter_echo_;
    Converter to_cp949_;
    std::string kept_;  // read from the terminal, not yet fed to the editor
    std::optional<std::chrono::steady_clock::time_point> first_key_;  // of the line being typed
    std::atomic<bool> cancelled_{false};
    // How cancel() ends a wait: the platform's wake-up (a pipe on POSIX, an
    // event on Windows).
    struct Wakeup;
    std::unique_ptr<Wakeup> wake_;
};

}  // namespace console
