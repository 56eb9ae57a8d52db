#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/console_detail.h"
#include "console/terminal.h"

namespace console {

namespace {

// Everything that gives the terminal back, in one precomputed string so that
// a crash handler can write it without building anything.
constexpr char kRestore[] =
    "\x1b[0m"       // SGR: default colours
    "\x1b[?25h"     // DECTCEM: show the cursor
    "\x1b[?2004l"   // bracketed paste off
    "\x1b[?1049l";  // leave the alternate screen, back to the main screen

// Read by the signal handlers: plain values written once before the
// handlers are installed.
termios g_saved_termios;
bool g_have_termios = false;
int g_in_fd = 0;
int g_out_fd = 1;
int g_out_flags = -1;  // the output's file status flags before the session
// The signal pipe: the handlers write each signal's number to it, the loop
// reads them (take_signals).
int g_signal_read = -1;
int g_signal_write = -1;

// An ending signal the loop has not acted on yet.
std::atomic<int> g_ending{0};
bool g_fullscreen = false;  // set_fullscreen has begun; loop thread only

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// How long an ending signal waits for the loop to act on it before its own
// handler gives the terminal back and ends the program.
constexpr unsigned kRestoreSeconds = 1;

// Async-signal-safe: tcsetattr(3), fcntl(2) and write(2) only. The modes
// first: they are given back at once. The output is blocking again as it
// was, for the shell that reads from the terminal next; the restore itself
// goes out before that, so that a terminal which does not read cannot hold
// it up.
void restore_terminal() {
    if (g_have_termios) ::tcsetattr(g_in_fd, TCSANOW, &g_saved_termios);
    ssize_t unused = ::write(g_out_fd, kRestore, sizeof kRestore - 1);
    (void)unused;
    if (g_out_flags >= 0) ::fcntl(g_out_fd, F_SETFL, g_out_flags);
}

void on_crash(int sig) {
    restore_terminal();
    // SA_RESETHAND has put back the default action: raising again ends the
    // process as the crash would have.
    ::raise(sig);
}

// Ends the process as `sig` would have, the terminal given back.
[[noreturn]] void end_by(int sig) {
    restore_terminal();
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);  // only if the default action did not end us
}

// The loop did not act on an ending signal in time.
void on_alarm(int) { end_by(g_ending.load()); }

// Only tells the loop. An ending signal also arms an alarm: should the loop
// not come round within a second, the alarm ends the program all the same;
// so does the same signal a second time.
void on_signal(int sig) {
    const int saved_errno = errno;
    if (sig != SIGWINCH) {
        if (g_ending.exchange(sig) != 0) end_by(sig);
        ::alarm(kRestoreSeconds);
    }
    const unsigned char b = static_cast<unsigned char>(sig);
    ssize_t unused = ::write(g_signal_write, &b, 1);  // a full pipe holds a wake-up already
    (void)unused;
    errno = saved_errno;
}

// Shows the screen if the terminal holds 169x50 cells (or its size cannot
// be told), else the size needed in its place. A terminal that shrinks cuts
// the screen, and one that grows again does not bring it back: the whole
// model is presented again, or the size needed stands in its place.
void fit_screen() {
    winsize ws{};
    if (::ioctl(console_out(), TIOCGWINSZ, &ws) != 0 ||
        (ws.ws_col >= kScreenWidth && ws.ws_row >= kScreenHeight)) {
        show_screen();
        return;
    }
    char needed[128];
    char now[128];
    std::snprintf(needed, sizeof needed, kTooSmallNeeded, kScreenWidth, kScreenHeight);
    std::snprintf(now, sizeof now, kTooSmallNow, ws.ws_col, ws.ws_row);
    hide_screen(std::string(needed) + "\n" + now);
}

void install(int sig, void (*handler)(int), int flags) {
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sa.sa_flags = flags;
    sigemptyset(&sa.sa_mask);
    ::sigaction(sig, &sa, nullptr);
}

}  // namespace

int signal_pipe() { return g_signal_read; }

void take_signals() {
    unsigned char sigs[64];
    bool resized = false;
    for (;;) {
        ssize_t n = ::read(g_signal_read, sigs, sizeof sigs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) resized = resized || sigs[i] == SIGWINCH;
    }
    if (const int sig = g_ending.load(); sig != 0) {
        // What the terminal has not taken of the last present is dropped,
        // here and in the terminal's own queue, so that the restore has
        // room and nothing drawn follows it.
        if (output_pending()) {
            drop_pending_output();
            ::tcflush(g_out_fd, TCOFLUSH);
        }
        run_before_end();
        end_by(sig);
    }
    if (resized && g_fullscreen) fit_screen();
}

TerminalSession::TerminalSession() {
    g_in_fd = console_in();
    g_out_fd = console_out();
    if (::tcgetattr(g_in_fd, &g_saved_termios) != 0) {
        error_ = kNotATerminal;
        return;
    }
    g_have_termios = true;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        g_signal_read = fds[0];
        g_signal_write = fds[1];
        for (int sig : kEndSignals) install(sig, on_signal, SA_RESTART);
        install(SIGWINCH, on_signal, SA_RESTART);
        install(SIGALRM, on_alarm, 0);
    }
    for (int sig : kCrashSignals) install(sig, on_crash, SA_RESETHAND | SA_NODEFER);

    // The loop never waits for the terminal to take what is drawn.
    g_out_flags = ::fcntl(g_out_fd, F_GETFL);
    if (g_out_flags >= 0) ::fcntl(g_out_fd, F_SETFL, g_out_flags | O_NONBLOCK);

    termios raw = g_saved_termios;
    // Input: no CR->NL translation (Enter arrives as CR, which the readers
    // treat like NL), no XON/XOFF flow control so Ctrl+S/Ctrl+Q reach us,
    // no stripping of the eighth bit (UTF-8 needs it), breaks not signals.
    raw.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    // Local: no echo (the program echoes typed text itself), no line
    // buffering, no Ctrl+V literal-next. ISIG stays on: Ctrl+C is SIGINT,
    // which ends the program with the terminal given back.
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | IEXTEN);
    raw.c_cflag |= CS8;
    // Ctrl+Z would stop the program with the board half-owned by the terminal,
    // and nothing could draw the board again on resume: it is not a signal here.
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    raw.c_cc[VMIN] = 1;  // a read returns as soon as one byte is there
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(g_in_fd, TCSAFLUSH, &raw);
}

TerminalSession::~TerminalSession() {
    if (!g_have_termios) return;
    for (int sig : kEndSignals) std::signal(sig, SIG_DFL);
    std::signal(SIGWINCH, SIG_DFL);
    clear_cursor_rest();
    // What was drawn last goes out before the terminal is given back, as
    // long as the terminal takes it.
    for (int tries = 0; output_pending() && tries < 10; ++tries) {
        pollfd pfd{g_out_fd, POLLOUT, 0};
        ::poll(&pfd, 1, 100);
        present_pending();
    }
    if (output_pending()) {
        drop_pending_output();
        ::tcflush(g_out_fd, TCOFLUSH);
    }
    restore_terminal();
    ::tcsetattr(g_in_fd, TCSADRAIN, &g_saved_termios);
}

void set_fullscreen() {
    send_control(
        "\x1b[?1049h"       // switch to the alternate screen
        "\x1b[?2004h"       // bracketed paste: pasted text comes between marks
        "\x1b[8;50;169t");  // XTWINOPS 8: ask for 50 rows of 169 cells
    g_fullscreen = true;
    fit_screen();
}

}  // namespace console
