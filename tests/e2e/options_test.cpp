// The command line of the real program: what --help, --version and a bad
// command line print, where, with which exit status, and that none of them
// touches the terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/pty_process.h"

namespace {

using taja::test::PtyProcess;

struct Ran {
    int status = -1;
    std::string out;  // what went to stdout, or to stderr with `errors`
};

// Runs the program outside any terminal and reads one of its streams.
Ran run(const std::string& args, bool errors) {
    const std::string command = std::string("'") + TAJA_DUEL_BIN + "' " + args +
                                (errors ? " 2>&1 >/dev/null" : " 2>/dev/null");
    Ran r;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[512];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// In a terminal: the exit status, with the terminal left in its line mode
// and never switched to the alternate screen, nor sent any escape sequence.
int status_in_terminal(std::vector<std::string> args) {
    PtyProcess proc(TAJA_DUEL_BIN, 169, 50, {}, false, std::move(args));
    EXPECT_TRUE(proc.wait_exit());
    // Whatever the program printed has been read by the time it is shown.
    EXPECT_TRUE(proc.wait_for([](const taja::test::VtScreen& s) { return !s.row(0).empty(); }));
    EXPECT_TRUE(proc.line_mode());
    EXPECT_EQ(proc.screen().output().find('\x1b'), std::string::npos) << proc.dump();
    return proc.exit_code();
}

TEST(Options, HelpAndVersionGoToStdoutAndExitZero) {
    for (const char* help : {"--help", "-h"}) {
        Ran r = run(help, false);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: taja-duel", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("--practice [SPEED]"), std::string::npos) << r.out;
        EXPECT_EQ(run(help, true).out, "");
    }
    for (const char* version : {"--version", "-V"}) {
        Ran r = run(version, false);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("taja-duel ", 0), 0u) << r.out;
        EXPECT_GT(r.out.size(), std::string("taja-duel \n").size()) << r.out;
    }
    EXPECT_EQ(status_in_terminal({"--help"}), 0);
    EXPECT_EQ(status_in_terminal({"-V"}), 0);
}

TEST(Options, ABadCommandLineSaysWhyWithTheUsageOnStderrAndExitsTwo) {
    for (const char* speed : {"abc", "0", "5000", "49", "1001", "200x"}) {
        for (const std::string& args :
             {std::string("--practice ") + speed, std::string("--practice=") + speed}) {
            Ran r = run(args, true);
            EXPECT_EQ(r.status, 2) << args;
            EXPECT_NE(r.out.find("SPEED must be a whole number from 50 to 1000, not '" +
                                 std::string(speed) + "'"),
                      std::string::npos)
                << r.out;
            EXPECT_NE(r.out.find("Usage: taja-duel"), std::string::npos) << r.out;
            EXPECT_EQ(run(args, false).out, "") << args;
        }
    }
    for (const char* port : {"0", "65536", "80x", "-1", "''"}) {
        const std::string args = std::string("--host --port ") + port;
        Ran r = run(args, true);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.out.find("PORT must be a whole number from 1 to 65535"), std::string::npos)
            << r.out;
    }
    EXPECT_EQ(run("--port 9090 --help", false).status, 0);
    EXPECT_EQ(run("--port 65535 --version", false).status, 0);
    for (const char* args :
         {"--bogus", "-x", "--join", "--host=1", "--host --practice", "extra", "--port"}) {
        Ran r = run(args, true);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.out.find("Usage: taja-duel"), std::string::npos) << args << ": " << r.out;
        EXPECT_GT(r.out.find("Usage: taja-duel"), 0u) << args << " says why first";
    }
    EXPECT_EQ(status_in_terminal({"--practice", "abc"}), 2);
    EXPECT_EQ(status_in_terminal({"--frobnicate"}), 2);
}

}  // namespace
