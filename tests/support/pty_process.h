// Runs a program in a pseudo-terminal, types into it and reads its screen.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/vt_screen.h"

namespace taja::test {

using namespace std::chrono_literals;
using Deadline = std::chrono::milliseconds;
inline constexpr Deadline kDefaultDeadline = 10s;

// Keys as a terminal sends them.
inline constexpr std::string_view kUp = "\x1b[A";
inline constexpr std::string_view kDown = "\x1b[B";
inline constexpr std::string_view kLeft = "\x1b[D";
inline constexpr std::string_view kRight = "\x1b[C";
inline constexpr std::string_view kEnter = "\r";
inline constexpr std::string_view kCtrlC = "\x03";

// A screen that one thread fills from a pseudo-terminal master while the test
// looks at it. All looks go through `wait_for` or `with_screen`.
class ScreenPump {
  public:
    ScreenPump(int master_fd, int cols, int rows);
    ~ScreenPump();  // stops the pump; does not close the descriptor

    // Waits until `pred` holds on the screen, or the deadline passes.
    // Returns whether it held.
    bool wait_for(const std::function<bool(const VtScreen&)>& pred,
                  Deadline deadline = kDefaultDeadline);
    // Waits until the text at (x, y) reads `utf8`.
    bool wait_text(int x, int y, std::string_view utf8, Deadline deadline = kDefaultDeadline);
    void with_screen(const std::function<void(const VtScreen&)>& look);
    void resize(int cols, int rows);
    std::string dump();
    // True once the master has reported the end (the other side closed).
    bool ended();
    // Every byte received so far, as the program wrote it: for checks on
    // what was drawn after a given point (take output().size() as a mark).
    std::string output();
    // Reads so far. On a descriptor that keeps the bounds of each write (a
    // SOCK_SEQPACKET socket), each read is one write of the program.
    int reads();
    // A terminal that stops reading (a frozen session) and reads again:
    // while paused, what the program writes piles up until its writes block.
    void pause();
    void resume();

  private:
    void run();

    int fd_;
    std::mutex mutex_;
    std::condition_variable changed_;
    VtScreen screen_;
    std::string output_;
    int reads_ = 0;
    bool ended_ = false;
    std::atomic<bool> paused_{false};
    int stop_pipe_[2];  // 's' stops the pump, 'p' has it look at paused_ again
    std::thread thread_;
};

// The real program in a pseudo-terminal of its own.
// Whether the terminal of process `pid` (its standard output) has stopped
// taking output: nobody reads what was written, which fills its buffer, so
// that a write to it would block.
bool terminal_full(pid_t pid);

class PtyProcess {
  public:
    // Starts `path` (the built taja-duel by default) with `args` in a
    // cols x rows pseudo-terminal. `env` entries are set in the child's
    // environment. With `count_writes`, the child's standard output is a
    // socket that keeps the bounds of each write, read by screen():
    // screen().reads() counts the child's writes (the terminal's size then
    // cannot be told).
    explicit PtyProcess(std::string path = TAJA_DUEL_BIN, int cols = 169, int rows = 50,
                        std::map<std::string, std::string> env = {}, bool count_writes = false,
                        std::vector<std::string> args = {});
    ~PtyProcess();  // kills the child if it still runs

    void type(std::string_view bytes);
    void resize(int cols, int rows);  // sets the size and sends SIGWINCH
    ScreenPump& screen() { return *pump_; }
    bool wait_for(const std::function<bool(const VtScreen&)>& pred,
                  Deadline deadline = kDefaultDeadline) {
        return pump_->wait_for(pred, deadline);
    }
    bool wait_text(int x, int y, std::string_view utf8, Deadline deadline = kDefaultDeadline) {
        return pump_->wait_text(x, y, utf8, deadline);
    }
    std::string dump() { return pump_->dump(); }

    // Waits for the child to end. True if it ended within the deadline.
    bool wait_exit(Deadline deadline = kDefaultDeadline);
    bool exited() const { return exited_; }
    // Valid after wait_exit: exit code, or -1 if a signal ended it.
    int exit_code() const;
    int term_signal() const;  // the signal that ended it, or 0
    // Whether the terminal is in its ordinary line mode (ICANON and ECHO on),
    // as the program found it and must leave it.
    bool line_mode() const;
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int master_ = -1;
    int output_ = -1;  // what screen() reads: the master, or the counting socket
    bool exited_ = false;
    int status_ = 0;
    std::unique_ptr<ScreenPump> pump_;
};

// The console of this process drawn on a pseudo-terminal, for tests of
// drawing code in-process: open_console() is pointed at the slave side.
class PtyConsole {
  public:
    explicit PtyConsole(int cols = 169, int rows = 50);
    ~PtyConsole();  // points the console back at standard input/output

    ScreenPump& screen() { return *pump_; }
    // Types bytes as if from the keyboard (they arrive on the slave side).
    void type(std::string_view bytes);
    int slave_fd() const { return slave_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::unique_ptr<ScreenPump> pump_;
};

}  // namespace taja::test
