// `taja-duel --history` on a known file: the report as text, its colour only
// on a terminal, and what it says with no file or one it cannot read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/pty_process.h"

namespace {

using taja::test::PtyProcess;

class StateHome {
  public:
    StateHome() {
        char name[] = "/tmp/taja-state-XXXXXX";
        path_ = ::mkdtemp(name);
        std::filesystem::create_directories(path_ / "taja-duel");
    }
    ~StateHome() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string path() const { return path_.string(); }
    std::string file() const { return (path_ / "taja-duel/history.tsv").string(); }

  private:
    std::filesystem::path path_;
};

struct Ran {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `taja-duel --history` outside any terminal, in a UTF-8 locale and in
// Korea's time zone (UTC+9), with its state folder at `home`.
Ran history(const std::string& home) {
    const std::string err_file = home + "/stderr";
    const std::string command = "XDG_STATE_HOME='" + home +
                                "' LC_ALL=C.UTF-8 TZ=KST-9 NO_COLOR= '" + TAJA_DUEL_BIN +
                                "' --history 2>'" + err_file + "'";
    Ran r;
    FILE* p = ::popen(command.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream e(err_file);
    r.err.assign(std::istreambuf_iterator<char>(e), {});
    std::filesystem::remove(err_file);
    return r;
}

// 28 days of one practice match each, a damaged line among them, then a day
// of two practice matches, a joined match that ended at 05:00 in Korea (still
// the day before in UTC), and a hosted one the rival left before any word.
void write_known_file(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "# taja-duel history 1\n"
           "time\tmode\trival\toutcome\tscore\tkeys_per_minute\taccuracy\twords\thits\tseconds\n";
    for (int day = 1; day <= 28; ++day) {
        char line[96];
        std::snprintf(line, sizeof line,
                      "2026-02-%02dT03:00:00Z\tpractice\t200\tlost\t10\t100\t90\t10\t9\t60\n", day);
        out << line;
        if (day == 10) out << "2026-02-11T03:00:00Z\tpractice\t200\tlost\n";
    }
    out << "2026-03-30T01:00:00Z\tpractice\t300\twon\t30\t300\t90\t20\t18\t70\n"
           "2026-03-30T02:00:00Z\tpractice\t300\tlost\t-20\t200\t60\t10\t6\t50\n"
           "2026-03-31T20:00:00Z\tjoin\t192.168.100.200\twon\t50\t400\t100\t12\t12\t40\n"
           "2026-04-02T03:00:00Z\thost\t8080\trival_left\t0\t\t\t0\t0\t5\n";
}

TEST(History, TheReportOfAKnownFileGivesTotalsBestLastMatchesAndTheChartByDay) {
    StateHome home;
    write_known_file(home.file());
    const Ran r = history(home.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

    std::string expected = "History of 32 matches in " + home.file() + "\n" +
                           R"(            matches   won  lost  rival left
  host            1     0     0           1
  join            1     1     0           0
  practice       30     1    29           0
  all            32     2    29           1

Best 타수: 400 on 2026-04-01

Last 10 matches, newest last:
  ended             mode      rival            outcome     score  타수  정확도
)";
    for (int day = 23; day <= 28; ++day) {
        expected += "  2026-02-" + std::to_string(day) +
                    " 12:00  practice  200              lost           10   100     90%\n";
    }
    expected += R"(  2026-03-30 10:00  practice  300              won            30   300     90%
  2026-03-30 11:00  practice  300              lost          -20   200     60%
  2026-04-01 05:00  join      192.168.100.200  won            50   400    100%
  2026-04-02 12:00  host      8080             rival left      0     -       -

타수 by day, the last 30 days played (█ mean, ░ best):
  day                                                   mean  best  정확도
)";
    // The first day has fallen off: 30 days from the second.
    for (int day = 2; day <= 28; ++day) {
        char row[32];
        std::snprintf(row, sizeof row, "  2026-02-%02d  ", day);
        expected +=
            row + std::string("██████████                                 100   100     90%\n");
    }
    expected += R"(  2026-03-30  █████████████████████████░░░░░             250   300     80%
  2026-04-01  ████████████████████████████████████████   400   400    100%
  2026-04-02                                               -     -       -

Damaged lines skipped: 1 (line 13)
)";
    EXPECT_EQ(r.out, expected);
}

TEST(History, NoFileIsNoErrorAndAFileThatCannotBeReadIsExitTwo) {
    StateHome home;
    Ran r = history(home.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "No match recorded yet in " + home.file() + ".\n");

    std::filesystem::create_directory(home.file());
    r = history(home.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "taja-duel: cannot read the history " + home.file() + ": Is a directory\n");

    // It plays no match: a mode with it is a bad command line.
    const std::string command =
        std::string("'") + TAJA_DUEL_BIN + "' --history --practice 2>&1 >/dev/null | head -n 1";
    FILE* p = ::popen(command.c_str(), "r");
    char line[256] = {};
    EXPECT_NE(std::fgets(line, sizeof line, p), nullptr);
    EXPECT_STREQ(line, "taja-duel: --history plays no match: give it without a mode\n");
    ::pclose(p);
}

TEST(History, ColourOnlyOnATerminalWithoutNoColourAndTheTerminalLeftAlone) {
    StateHome home;
    write_known_file(home.file());
    for (const char* no_colour : {"", "1"}) {
        PtyProcess proc(TAJA_DUEL_BIN, 100, 80,
                        {{"XDG_STATE_HOME", home.path()}, {"NO_COLOR", no_colour}}, false,
                        {"--history"});
        ASSERT_TRUE(proc.wait_exit());
        EXPECT_EQ(proc.exit_code(), 0);
        EXPECT_TRUE(proc.wait_for([](const taja::test::VtScreen& s) {
            for (int y = 0; y < 80; ++y) {
                if (s.row(y).find("Damaged lines skipped") != std::string::npos) return true;
            }
            return false;
        })) << proc.dump();
        EXPECT_TRUE(proc.line_mode());
        const std::string out = proc.screen().output();
        if (*no_colour == '\0') {
            EXPECT_NE(out.find("\x1b[32m"), std::string::npos) << "won, and the mean bars";
            EXPECT_EQ(out.find("\x1b[?1049h"), std::string::npos) << "no alternate screen";
        } else {
            EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
        }
    }
}

}  // namespace
