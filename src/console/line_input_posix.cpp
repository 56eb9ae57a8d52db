// Line input on a POSIX terminal in raw mode: poll on the terminal and on a
// wake-up pipe, so that a cancel from another thread ends the wait at once.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "console/console.h"
#include "console/line_input.h"

namespace console {

namespace {

// A terminal sends an escape sequence in one go: input that pauses inside one
// this long means the sequence was cut off, or the ESC was the Escape key.
constexpr int kEscapePauseMs = 50;
// Without a wake-up pipe (none could be made), a wait looks at the cancel
// request this often instead.
constexpr int kCancelCheckMs = 100;

void drain(int fd) {
    char buf[64];
    while (::read(fd, buf, sizeof buf) > 0) {
    }
}

}  // namespace

// cancel() writes a byte to `write_end` to end a wait on `read_end`.
struct LineInput::Wakeup {
    int read_end = -1;
    int write_end = -1;
};

LineInput::LineInput(Composition composition, EnterEcho enter_echo)
    : editor_(framing_of(terminal_encoding())),
      composer_(composition == Composition::hangul ? make_hangul_composer(terminal_encoding())
                                                   : nullptr),
      enter_echo_(enter_echo),
      to_cp949_(terminal_encoding(), "CP949"),
      wake_(std::make_unique<Wakeup>()) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wake_->read_end = fds[0];
        wake_->write_end = fds[1];
    }
}

LineInput::~LineInput() {
    if (wake_->read_end >= 0) ::close(wake_->read_end);
    if (wake_->write_end >= 0) ::close(wake_->write_end);
}

LineRead LineInput::read_line(Field field) {
    if (cancelled_.load()) return {ReadStatus::cancelled, {}};
    draw(field);
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

        const int in = console_in();
        pollfd fds[2] = {{in, POLLIN, 0}, {wake_->read_end, POLLIN, 0}};
        int timeout = editor_.in_escape() ? kEscapePauseMs : -1;
        if (wake_->read_end < 0 && (timeout < 0 || timeout > kCancelCheckMs))
            timeout = kCancelCheckMs;
        int r = ::poll(fds, 2, timeout);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) break;
        if (r == 0) {
            if (editor_.in_escape()) editor_.end_escape();
            continue;
        }
        if (fds[1].revents != 0) {
            // Either cancel() has just asked (seen at the top of the loop),
            // or a wake-up is left over from a cancel that resume() has since
            // undone: take it away, or every poll would return at once.
            drain(wake_->read_end);
            continue;
        }
        char buf[256];
        ssize_t got = ::read(in, buf, sizeof buf);
        if (got > 0) {
            kept_.append(buf, static_cast<std::size_t>(got));
        } else if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        } else {
            break;  // end of input (0), or the terminal is gone (EIO ...)
        }
    }
    drop_typed();
    clear_cursor_rest();
    return {ReadStatus::ended, {}};
}

void LineInput::cancel() {
    cancelled_.store(true);
    if (wake_->write_end >= 0) {
        const char b = 1;
        // A full pipe already holds a wake-up: nothing is lost if this fails.
        ssize_t unused = ::write(wake_->write_end, &b, 1);
        (void)unused;
    }
}

void LineInput::resume() {
    if (wake_->read_end >= 0) drain(wake_->read_end);
    cancelled_.store(false);
    drop_typed();
}

void LineInput::discard_pending_input() {
    drop_typed();
    ::tcflush(console_in(), TCIFLUSH);
}

}  // namespace console
