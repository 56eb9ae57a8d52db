// The history file: its lines, appends by two programs at once, damaged
// lines, a folder that cannot be written, and the figures taken from it.
#include "shell/history.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using shell::MatchEnd;
using shell::MatchRecord;
using shell::PlayMode;

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/taja-history-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

MatchRecord practice(int keys, int score = 0) {
    MatchRecord r;
    r.time = 1'777'777'777;
    r.rival = "200";
    r.keys_per_minute = keys;
    r.score = score;
    return r;
}

TEST(History, ALineHoldsEveryFigureAndOnlyWellFormedLinesAreMatches) {
    MatchRecord r;
    r.time = 1'709'210'096;  // a leap day
    r.mode = PlayMode::join;
    r.rival = "192.168.0.7";
    r.outcome = MatchEnd::rival_left;
    r.score = -20;
    r.keys_per_minute = 231;
    r.accuracy_percent = 92;
    r.words = 13;
    r.hits = 12;
    r.seconds = 95;
    const std::string line = shell::format_record(r);
    EXPECT_EQ(line,
              "2024-02-29T12:34:56Z\tjoin\t192.168.0.7\trival_left\t-20\t231\t92\t13\t12\t95\n");
    EXPECT_EQ(shell::parse_record(line.substr(0, line.size() - 1)), r);
    EXPECT_EQ(shell::parse_record(line.substr(0, line.size() - 1) + "\tlater\tcolumns"), r)
        << "columns a later version adds are left alone";

    MatchRecord none;  // no 타수, no 정확도; a rival's odd bytes are kept off the line
    none.rival = "a\tb\n\xB0\xA1";
    const std::string none_line = shell::format_record(none);
    EXPECT_EQ(none_line, "1970-01-01T00:00:00Z\tpractice\ta?b??\?\tlost\t0\t\t\t0\t0\t0\n");
    none.rival = "a?b???";
    EXPECT_EQ(shell::parse_record(none_line.substr(0, none_line.size() - 1)), none);

    for (const char* bad : {
             "2023-02-29T12:34:56Z\tjoin\tx\twon\t0\t1\t1\t1\t1\t1",    // no such day
             "2024-02-29 12:34:56Z\tjoin\tx\twon\t0\t1\t1\t1\t1\t1",    // not ISO 8601
             "2024-02-29T24:00:00Z\tjoin\tx\twon\t0\t1\t1\t1\t1\t1",    // no such hour
             "2024-02-29T12:34:56Z\tsolo\tx\twon\t0\t1\t1\t1\t1\t1",    // no such mode
             "2024-02-29T12:34:56Z\tjoin\tx\tdraw\t0\t1\t1\t1\t1\t1",   // no such outcome
             "2024-02-29T12:34:56Z\tjoin\tx\twon\t0\t1\t101\t1\t1\t1",  // over 100%
             "2024-02-29T12:34:56Z\tjoin\tx\twon\t0\t1\t1\t1\t2\t1",    // more hits than words
             "2024-02-29T12:34:56Z\tjoin\tx\twon\t0\t-1\t1\t1\t1\t1",   // a negative speed
             "2024-02-29T12:34:56Z\tjoin\tx\twon\t+5\t1\t1\t1\t1\t1",
             "2024-02-29T12:34:56Z\tjoin\tx\twon\t0\t1\t1\t1\t1\t99999999999",
             "2024-02-29T12:34:56Z\tjoin\tx\twon\t0\t1\t1\t1\t1",  // cut short
             "2024-02-29T12:34:56Z\tjoin\t\xB0\xA1\twon\t0\t1\t1\t1\t1\t1",
             "",
         }) {
        EXPECT_EQ(shell::parse_record(bad), std::nullopt) << bad;
    }
}

TEST(History, TwoProgramsAppendingAtOnceGetOneHeaderAndEveryLineWhole) {
    TempDir dir;
    // Folders that are not there yet: both programs make them.
    const std::string path = dir / "state/taja-duel/history.tsv";
    constexpr int kLines = 60;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t kids[2];
    for (int k = 0; k < 2; ++k) {
        kids[k] = ::fork();
        ASSERT_GE(kids[k], 0);
        if (kids[k] == 0) {
            char c;
            ::close(go[1]);
            if (::read(go[0], &c, 1) != 0) ::_exit(3);  // both start when the pipe closes
            for (int i = 0; i < kLines; ++i) {
                MatchRecord r = practice(100 + i, i);
                r.rival =
                    std::string(k == 0 ? "a" : "b") + std::string(static_cast<size_t>(i), 'x');
                if (!shell::append_history(path, r).empty()) ::_exit(1);
            }
            ::_exit(0);
        }
    }
    ::close(go[0]);
    ::close(go[1]);
    for (pid_t kid : kids) {
        int status = 0;
        ASSERT_EQ(::waitpid(kid, &status, 0), kid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    const std::string text = slurp(path);
    EXPECT_EQ(text.rfind("# taja-duel history 1\ntime\tmode\trival\toutcome\tscore\t", 0), 0u);
    EXPECT_EQ(text.find("# taja-duel", 1), std::string::npos) << "the header once";
    const shell::History h = shell::read_history(path);
    EXPECT_EQ(h.status, shell::History::Status::ok);
    EXPECT_TRUE(h.damaged_lines.empty());
    ASSERT_EQ(h.records.size(), 2u * kLines);
    std::set<std::string> seen;
    int next[2] = {0, 0};  // each program's lines come in its own order
    for (const MatchRecord& r : h.records) {
        const int k = r.rival[0] == 'a' ? 0 : 1;
        EXPECT_EQ(r.score, next[k]);
        EXPECT_EQ(r.rival.size(), static_cast<std::size_t>(r.score) + 1);
        EXPECT_EQ(r.keys_per_minute, 100 + r.score);
        ++next[k];
        seen.insert(r.rival);
    }
    EXPECT_EQ(seen.size(), 2u * kLines);

    // The moment between seeing an empty file and writing its header is
    // narrow: an appender that finds the lock held by another must wait
    // for it, then see the other's header.
    const std::string held = dir / "held.tsv";
    const int fd = ::open(held.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const pid_t kid = ::fork();
    ASSERT_GE(kid, 0);
    if (kid == 0) {
        ::close(fd);  // the lock belongs to the open file, which the child shares
        ::_exit(shell::append_history(held, practice(111)).empty() ? 0 : 1);
    }
    ::usleep(300'000);
    EXPECT_EQ(slurp(held), "") << "the appender waits for the lock";
    const std::string mine = "# taja-duel history 1\n" + shell::format_record(practice(222));
    ASSERT_EQ(::write(fd, mine.data(), mine.size()), static_cast<ssize_t>(mine.size()));
    ::close(fd);
    int status = 0;
    ASSERT_EQ(::waitpid(kid, &status, 0), kid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(slurp(held), mine + shell::format_record(practice(111)));
}

TEST(History, DamagedLinesAreSkippedAndNamedAndAnUnendedOneCannotSwallowTheNext) {
    TempDir dir;
    const std::string path = dir / "history.tsv";
    const std::string one = shell::format_record(practice(150));
    const std::string two = shell::format_record(practice(250));
    {
        std::ofstream out(path, std::ios::binary);
        out << "# taja-duel history 1\n"
            << "time\tmode\n"
            << one << "garbage from a hand edit\n"
            << two << two.substr(0, 30);  // a write cut short
    }
    shell::History h = shell::read_history(path);
    EXPECT_EQ(h.status, shell::History::Status::ok);
    ASSERT_EQ(h.records.size(), 2u);
    EXPECT_EQ(h.records[1].keys_per_minute, 250);
    EXPECT_EQ(h.damaged_lines, (std::vector<long>{4, 6}));

    EXPECT_EQ(shell::append_history(path, practice(350)), "");
    h = shell::read_history(path);
    ASSERT_EQ(h.records.size(), 3u);
    EXPECT_EQ(h.records[2].keys_per_minute, 350);
    EXPECT_EQ(h.damaged_lines, (std::vector<long>{4, 6}));
    EXPECT_EQ(slurp(path).find("# taja-duel", 1), std::string::npos) << "no second header";

    EXPECT_EQ(shell::read_history(dir / "none.tsv").status, shell::History::Status::none);
    const shell::History folder = shell::read_history(dir.path().string());
    EXPECT_EQ(folder.status, shell::History::Status::unreadable);
    EXPECT_EQ(folder.error, "Is a directory");
}

TEST(History, AFolderThatCannotBeWrittenGivesTheReason) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string locked = dir / "locked";
    ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
    // In a child that is no superuser, whom the folder's mode binds.
    int answer[2];
    ASSERT_EQ(::pipe(answer), 0);
    const pid_t kid = ::fork();
    ASSERT_GE(kid, 0);
    if (kid == 0) {
        ::close(answer[0]);
        if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(1);
        const std::string why = shell::append_history(locked + "/history.tsv", practice(100)) +
                                "|" +
                                shell::append_history(locked + "/new/history.tsv", practice(100));
        ::_exit(::write(answer[1], why.data(), why.size()) == static_cast<ssize_t>(why.size()) ? 0
                                                                                               : 1);
    }
    ::close(answer[1]);
    std::string why;
    char buf[256];
    for (ssize_t n; (n = ::read(answer[0], buf, sizeof buf)) > 0;) why.append(buf, n);
    ::close(answer[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(kid, &status, 0), kid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(why, "Permission denied|Permission denied");
    EXPECT_FALSE(std::filesystem::exists(locked + "/history.tsv"));

    // A file where the folder should be.
    std::ofstream(dir / "file") << "x";
    EXPECT_EQ(shell::append_history(dir / "file/history.tsv", practice(100)), "Not a directory");
    EXPECT_NE(shell::append_history("", practice(100)), "");
}

TEST(History, BestSpeedAndThePracticeRivalsStartingSpeed) {
    std::vector<MatchRecord> rs = {practice(200), practice(300), practice(300)};
    rs[0].time = 10;
    rs[1].time = 20;
    rs.push_back(practice(0));
    rs.back().keys_per_minute.reset();
    std::optional<shell::Best> best = shell::best_keys_per_minute(rs);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->keys_per_minute, 300);
    EXPECT_EQ(best->time, 20) << "the first to reach it set it";
    EXPECT_FALSE(best->newest);
    rs.push_back(practice(301));
    EXPECT_TRUE(shell::best_keys_per_minute(rs)->newest);
    EXPECT_EQ(shell::best_keys_per_minute({}), std::nullopt);

    // The last five practice matches that gave a 타수: 900 300 400 500 600.
    std::vector<MatchRecord> ps = {practice(100), practice(900), practice(300), practice(400),
                                   practice(500), practice(600), practice(40)};
    ps.back().mode = PlayMode::join;
    ps.push_back(practice(0));
    ps.back().keys_per_minute.reset();
    EXPECT_EQ(shell::recent_practice_speed(ps), 500);
    EXPECT_EQ(shell::recent_practice_speed({practice(100), practice(201)}), 151);
    EXPECT_EQ(shell::recent_practice_speed({practice(20)}), 50);
    EXPECT_EQ(shell::recent_practice_speed({practice(5000)}), 1000);
    EXPECT_EQ(shell::recent_practice_speed({ps[6]}), std::nullopt);
}

}  // namespace
