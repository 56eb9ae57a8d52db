#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
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
std::thread g_watcher;
sigset_t g_watched;

constexpr int kEndSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// Sent by the session itself to end the watcher thread.
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

// Shows the board if the terminal holds 169x50 cells (or its size cannot be
// told), else the size needed in its place. True if the board shows.
bool fit_board() {
    winsize ws{};
    if (::ioctl(console_out(), TIOCGWINSZ, &ws) != 0 ||
        (ws.ws_col >= kScreenWidth && ws.ws_row >= kScreenHeight)) {
        show_board();
        return true;
    }
    char message[256];
    // 터미널 창이 작습니다. 169x50 칸 이상이 필요합니다.
    // 지금 크기: %dx%d 칸. 창을 늘려 주세요.
    std::snprintf(
        message, sizeof message,
        "\xC5\xCD\xB9\xCC\xB3\xCE \xC3\xA2\xC0\xCC \xC0\xDB\xBD\xC0\xB4\xCF\xB4\xD9. "
        "%dx%d \xC4\xAD \xC0\xCC\xBB\xF3\xC0\xCC \xC7\xCA\xBF\xE4\xC7\xD5\xB4\xCF\xB4\xD9.\n"
        "\xC1\xF6\xB1\xDD \xC5\xA9\xB1\xE2: %dx%d \xC4\xAD. \xC3\xA2\xC0\xBB \xB4\xC3"
        "\xB7\xC1 \xC1\xD6\xBC\xBC\xBF\xE4.",
        kScreenWidth, kScreenHeight, ws.ws_col, ws.ws_row);
    hide_board(message);
    return false;
}

// The signals that end the program or resize the terminal are blocked in
// every thread and taken here, so that the work happens on a thread that may
// take the console lock: no drawing step is cut in half by the restore, and
// none follows it.
void watch_signals() {
    for (;;) {
        int sig = 0;
        if (::sigwait(&g_watched, &sig) != 0) continue;
        if (sig == SIGWINCH) {
            // A terminal that shrinks cuts the board, and one that grows
            // again does not bring it back: the board is drawn again whole,
            // or the size needed stands in its place.
            if (g_fullscreen.load()) fit_board();
            g_resizes.fetch_add(1);
            g_resizes.notify_all();
            continue;
        }
        if (sig == kStopSignal) {
            if (g_stopping.load()) return;
            continue;
        }
        if (!end_drawing(kStepWait)) {
            // A drawing step is stuck in a write to a terminal that does not
            // read (a frozen SSH session, a paused terminal): drop the board
            // output it has not taken, so the restore has room, and end even
            // if the restore's own write cannot go through.
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
        // 터미널에서 실행해 주세요: 표준 입력이 터미널이 아닙니다.
        error_ =
            "\xC5\xCD\xB9\xCC\xB3\xCE\xBF\xA1\xBC\xAD \xBD\xC7\xC7\xE0\xC7\xD8 \xC1\xD6\xBC\xBC"
            "\xBF\xE4: \xC7\xA5\xC1\xD8 \xC0\xD4\xB7\xC2\xC0\xCC \xC5\xCD\xB9\xCC\xB3\xCE\xC0\xCC "
            "\xBE\xC6\xB4\xD5\xB4\xCF\xB4\xD9.";
        return;
    }
    g_have_termios = true;

    sigemptyset(&g_watched);
    for (int sig : kEndSignals) sigaddset(&g_watched, sig);
    sigaddset(&g_watched, SIGWINCH);
    sigaddset(&g_watched, kStopSignal);
    ::pthread_sigmask(SIG_BLOCK, &g_watched, nullptr);  // inherited by every later thread
    g_watcher = std::thread(watch_signals);

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
    ::pthread_kill(g_watcher.native_handle(), kStopSignal);
    g_watcher.join();
}

void set_fullscreen() {
    {
        DrawStep step;
        write_raw("\x1b[?1049h", 8);      // switch to the alternate screen
        write_raw("\x1b[8;50;169t", 11);  // XTWINOPS 8: ask for 50 rows of 169 cells
    }
    g_fullscreen.store(true);
    for (;;) {
        unsigned seen = g_resizes.load();
        if (fit_board()) return;
        g_resizes.wait(seen);
    }
}

}  // namespace console
