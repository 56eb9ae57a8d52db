#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>

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
    "\x1b[?1049l";  // leave the alternate screen, back to the main screen

// Read by the crash handlers: plain values written once before the handlers
// are installed.
termios g_saved_termios;
bool g_have_termios = false;
int g_in_fd = 0;
int g_out_fd = 1;

std::atomic<unsigned> g_resizes{0};     // counts SIGWINCH
std::atomic<bool> g_fullscreen{false};  // set_fullscreen has begun
std::atomic<bool> g_stopping{false};
std::thread g_end_watcher;
std::thread g_resize_watcher;
sigset_t g_end_signals;
sigset_t g_resize_signals;

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Sent by the session itself to end the thread that takes ending signals;
// the resize thread is ended with a SIGWINCH of its own.
constexpr int kStopSignal = SIGUSR2;

// How long an ending signal waits for the drawing step in progress.
constexpr auto kStepWait = std::chrono::milliseconds(300);
// And how long the restore may then take before the process ends anyway.
constexpr unsigned kRestoreSeconds = 1;

// Async-signal-safe: tcsetattr(3) and write(2) only. The modes first: they
// are given back at once, even when the write has to wait for a terminal
// that is slow to read.
void restore_terminal() {
    if (g_have_termios) ::tcsetattr(g_in_fd, TCSANOW, &g_saved_termios);
    ssize_t unused = ::write(g_out_fd, kRestore, sizeof kRestore - 1);
    (void)unused;
}

void on_crash(int sig) {
    restore_terminal();
    // SA_RESETHAND has put back the default action: raising again ends the
    // process as the crash would have.
    ::raise(sig);
}

// Shows the screen if the terminal holds 169x50 cells (or its size cannot
// be told), else the size needed in its place. True if the screen shows.
bool fit_screen() {
    winsize ws{};
    if (::ioctl(console_out(), TIOCGWINSZ, &ws) != 0 ||
        (ws.ws_col >= kScreenWidth && ws.ws_row >= kScreenHeight)) {
        show_screen();
        return true;
    }
    char needed[128];
    char now[128];
    std::snprintf(needed, sizeof needed, kTooSmallNeeded, kScreenWidth, kScreenHeight);
    std::snprintf(now, sizeof now, kTooSmallNow, ws.ws_col, ws.ws_row);
    hide_screen(std::string(needed) + "\n" + now);
    return false;
}

// SIGWINCH is taken on a thread of its own, which may wait for the console
// lock and block in the write of the screen to a terminal that does not
// read: that keeps no ending signal from being taken.
void watch_resizes() {
    for (;;) {
        int sig = 0;
        if (::sigwait(&g_resize_signals, &sig) != 0) continue;
        if (g_stopping.load()) return;
        // A terminal that shrinks cuts the screen, and one that grows again
        // does not bring it back: the whole model is presented again, or
        // the size needed stands in its place.
        if (g_fullscreen.load()) fit_screen();
        g_resizes.fetch_add(1);
        g_resizes.notify_all();
    }
}

// The signals that end the program are blocked in every thread and taken
// here, on a thread that waits for the console lock no longer than
// kStepWait: no drawing step is cut in half by the restore, none follows
// it, and a step stuck in its write does not keep the program alive.
void watch_end_signals() {
    for (;;) {
        int sig = 0;
        if (::sigwait(&g_end_signals, &sig) != 0) continue;
        if (sig == kStopSignal) {
            if (g_stopping.load()) return;
            continue;
        }
        if (!end_drawing(kStepWait)) {
            // A drawing step is stuck in a write to a terminal that does not
            // read (a frozen SSH session, a paused terminal): drop the output
            // it has not taken, so the restore has room, and end even if the
            // restore's own write cannot go through.
            ::tcflush(g_out_fd, TCOFLUSH);
            ::alarm(kRestoreSeconds);
        }
        restore_terminal();
        std::signal(sig, SIG_DFL);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, sig);
        ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(sig);
        ::_exit(128 + sig);  // only if the default action did not end us
    }
}

}  // namespace

TerminalSession::TerminalSession() {
    g_in_fd = console_in();
    g_out_fd = console_out();
    if (::tcgetattr(g_in_fd, &g_saved_termios) != 0) {
        error_ = kNotATerminal;
        return;
    }
    g_have_termios = true;

    sigemptyset(&g_end_signals);
    for (int sig : kEndSignals) sigaddset(&g_end_signals, sig);
    sigaddset(&g_end_signals, kStopSignal);
    sigemptyset(&g_resize_signals);
    sigaddset(&g_resize_signals, SIGWINCH);
    // Inherited by every later thread.
    ::pthread_sigmask(SIG_BLOCK, &g_end_signals, nullptr);
    ::pthread_sigmask(SIG_BLOCK, &g_resize_signals, nullptr);
    g_end_watcher = std::thread(watch_end_signals);
    g_resize_watcher = std::thread(watch_resizes);

    struct sigaction sa = {};
    sa.sa_handler = on_crash;
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    for (int sig : kCrashSignals) ::sigaction(sig, &sa, nullptr);

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
    {
        DrawStep step;
        clear_cursor_rest();
        restore_terminal();
        ::tcsetattr(g_in_fd, TCSADRAIN, &g_saved_termios);
    }
    g_stopping.store(true);
    ::pthread_kill(g_end_watcher.native_handle(), kStopSignal);
    ::pthread_kill(g_resize_watcher.native_handle(), SIGWINCH);
    g_end_watcher.join();
    g_resize_watcher.join();
}

void set_fullscreen() {
    send_control(
        "\x1b[?1049h"       // switch to the alternate screen
        "\x1b[8;50;169t");  // XTWINOPS 8: ask for 50 rows of 169 cells
    g_fullscreen.store(true);
    for (;;) {
        unsigned seen = g_resizes.load();
        if (fit_screen()) return;
        g_resizes.wait(seen);
    }
}

}  // namespace console
