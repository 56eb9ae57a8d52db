// The history file on Windows: %LOCALAPPDATA%, folders made, and appends by
// two writers at once (each with a handle of its own, as two programs have)
// that keep one header and every line whole.
#include "shell/history.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "console/encoding_win32.h"

namespace {

TEST(WinHistory, TheFileIsInLocalAppDataAndTwoWritersAtOnceKeepEveryLineWhole) {
    wchar_t local[MAX_PATH];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    EXPECT_EQ(shell::history_path(),
              console::from_wide(local, console::kCodePageUtf8) + "\\taja-duel\\history.tsv");

    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::string folder = console::from_wide(temp, console::kCodePageUtf8) + "taja-history-" +
                               std::to_string(::GetCurrentProcessId());
    const std::string path = folder + "\\state\\history.tsv";
    constexpr int kLines = 40;
    auto writer = [&](const char* rival, bool& ok) {
        ok = true;
        for (int i = 0; i < kLines; ++i) {
            shell::MatchRecord r;
            r.rival = rival;
            r.score = i;
            r.keys_per_minute = 100 + i;
            ok = ok && shell::append_history(path, r).empty();
        }
    };
    bool ok_a = false;
    bool ok_b = false;
    std::thread a(writer, "a", std::ref(ok_a));
    std::thread b(writer, "b", std::ref(ok_b));
    a.join();
    b.join();
    EXPECT_TRUE(ok_a && ok_b);

    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(text.rfind("# taja-duel history 1\n", 0), 0u);
    EXPECT_EQ(text.find("# taja-duel", 1), std::string::npos) << "the header once";
    in.close();

    const shell::History h = shell::read_history(path);
    EXPECT_EQ(h.status, shell::History::Status::ok);
    EXPECT_TRUE(h.damaged_lines.empty());
    ASSERT_EQ(h.records.size(), 2u * kLines);
    int next[2] = {0, 0};
    for (const shell::MatchRecord& r : h.records) {
        const int k = r.rival == "a" ? 0 : 1;
        EXPECT_EQ(r.score, next[k]++);
        EXPECT_EQ(r.keys_per_minute, 100 + r.score);
    }
    EXPECT_EQ(next[0] + next[1], 2 * kLines);

    ::DeleteFileW(console::to_wide(path, console::kCodePageUtf8).c_str());
    ::RemoveDirectoryW(console::to_wide(folder + "\\state", console::kCodePageUtf8).c_str());
    ::RemoveDirectoryW(console::to_wide(folder, console::kCodePageUtf8).c_str());
}

}  // namespace
