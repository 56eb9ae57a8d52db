// Line input on a real pseudo-terminal, read in the program's loop: keys
// typed into it, the echo read back through a terminal emulator.
#include "console/line_input.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <future>
#include <list>
#include <optional>
#include <string>

#include "console/console.h"
#include "console/encoding.h"
#include "console/loop.h"
#include "support/pty_process.h"

namespace {

using console::Field;
using console::LineInput;
using console::LineRead;
using taja::test::CursorPos;
using taja::test::Deadline;
using taja::test::kDefaultDeadline;
using taja::test::PtyConsole;
using taja::test::VtScreen;
using namespace std::chrono_literals;

// The duel's input field: 15 cells at grid (28, 48).
constexpr Field kField{84, 48, 15};

std::string cp949(std::string_view utf8) {
    console::Converter to("UTF-8", "CP949");
    return to.convert(utf8);
}

// What the field reads: `utf8`, `cells` wide, then blanks to its end.
std::string field_text(std::string_view utf8, int cells) {
    return std::string(utf8) + std::string(static_cast<std::size_t>(kField.width - cells), ' ');
}

void draw_at(int x, int y, const char* text) {
    console::DrawStep step;
    console::set_cursor(x, y);
    console::print_text("%s", text);
}

class LineInputTest : public ::testing::Test {
  protected:
    // A read that is still waiting when a test fails is given its Enter, so
    // the test ends instead of hanging.
    ~LineInputTest() override {
        for (auto& read : reads) {
            if (read.valid() && read.wait_for(0s) != std::future_status::ready) con.type("\r");
        }
        reads.clear();
    }

    std::future<std::optional<LineRead>>& start_read(Field field = kField) {
        reads.push_back(std::async(std::launch::async,
                                   [this, field] { return console::read_line(input, field); }));
        return reads.back();
    }

    static std::optional<LineRead> finish(std::future<std::optional<LineRead>>& read,
                                          Deadline deadline = kDefaultDeadline) {
        if (read.wait_for(deadline) != std::future_status::ready) return std::nullopt;
        return read.get();
    }

    // Reads one line typed (or kept) before or during the read.
    std::optional<LineRead> read_line() { return finish(start_read()); }

    bool field_shows(std::string_view utf8, int cells) {
        const std::string want = field_text(utf8, cells);
        return con.screen().wait_for([&](const VtScreen& s) {
            CursorPos c = s.cursor();
            return s.text(kField.x, kField.y, kField.width) == want && c.x == kField.x + cells &&
                   c.y == kField.y;
        });
    }

    PtyConsole con;
    LineInput input;  // after the console: it reads the terminal's encoding
    std::list<std::future<std::optional<LineRead>>> reads;
};

TEST_F(LineInputTest, EchoesInTheFieldAndReturnsTheLineInCp949) {
    draw_at(83, 48, "[XXXXXXXXXXXXXXX]");  // stale text in the field, markers beside it
    auto& read = start_read();
    ASSERT_TRUE(field_shows("", 0)) << con.screen().dump();  // blank, cursor on its first cell

    con.type("안");
    ASSERT_TRUE(field_shows("안", 2)) << con.screen().dump();
    con.type("\x1b[D녕");  // an arrow key in between shows nothing
    ASSERT_TRUE(field_shows("안녕", 4)) << con.screen().dump();
    con.screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(s.cell(84, 48).width, 2);
        EXPECT_EQ(s.cell(86, 48).width, 2);
        EXPECT_EQ(s.text(83, 48, 1), "[");
        EXPECT_EQ(s.text(99, 48, 1), "]");
    });

    con.type("\r");
    std::optional<LineRead> got = finish(read);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line, cp949("안녕"));
    EXPECT_EQ(got->line, "\xBE\xC8\xB3\xE7");  // 안녕 in CP949
    EXPECT_FALSE(got->burst) << "typed a syllable at a time";
}

TEST_F(LineInputTest, BackspaceRemovesAWholeSyllableFromScreenAndLine) {
    auto& read = start_read();
    con.type("안녕");
    ASSERT_TRUE(field_shows("안녕", 4)) << con.screen().dump();
    con.type("\x7f");  // DEL
    ASSERT_TRUE(field_shows("안", 2)) << con.screen().dump();
    con.type("\x08");  // ^H
    ASSERT_TRUE(field_shows("", 0)) << con.screen().dump();
    con.type("\x7f기a");  // Backspace on an empty line does nothing
    ASSERT_TRUE(field_shows("기a", 3)) << con.screen().dump();
    con.type("\r");
    std::optional<LineRead> got = finish(read);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line, cp949("기a"));
}

TEST_F(LineInputTest, CharactersWithNoCp949FormNeverBecomeAnotherWord) {
    con.type("가\xff나\r");  // a byte that is no UTF-8
    std::optional<LineRead> got = read_line();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line, cp949("가") + "?" + cp949("나"));

    con.type("가😀나\r");  // a character that CP949 lacks
    got = read_line();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line, cp949("가") + "?" + cp949("나"));
}

TEST_F(LineInputTest, LinesTypedInOneBurstComeFromOneReadEach) {
    con.type("안녕\r기다\r");
    std::optional<LineRead> first = read_line();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->line, cp949("안녕"));
    std::optional<LineRead> second = read_line();  // nothing more is typed
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->line, cp949("기다"));
    EXPECT_TRUE(first->burst && second->burst) << "no person types a line in one read";

    // CR LF is one Enter: no empty line between or after.
    con.type("가\r\n나\r\n");
    EXPECT_EQ(read_line().value().line, cp949("가"));
    EXPECT_EQ(read_line().value().line, cp949("나"));
    auto& third = start_read();
    ASSERT_TRUE(field_shows("", 0));
    con.type("다\r");
    EXPECT_EQ(finish(third).value().line, cp949("다"));
}

TEST_F(LineInputTest, DiscardDropsKeysTypedWhileNoReadWasWanted) {
    con.type("가\r나\r");
    ASSERT_EQ(read_line().value().line, cp949("가"));  // 나 is kept for the next read

    con.type("다\r");  // typed during a pause, and waiting in the terminal
    pollfd waiting{con.slave_fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 10000), 1);
    input.drop();
    console::discard_typed_keys();

    con.type("라\r");
    std::optional<LineRead> got = read_line();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line, cp949("라"));
}

TEST_F(LineInputTest, ALongLineStaysInsideItsField) {
    draw_at(81, 47, "====================");
    draw_at(83, 48, "[");
    draw_at(99, 48, "]");
    draw_at(81, 49, "====================");
    ASSERT_TRUE(con.screen().wait_text(81, 49, "===================="));
    const std::string frame = con.screen().dump();

    // 100 syllables: 200 bytes of CP949, 200 cells.
    const std::string syllables = "가나다라마바사아자차";
    std::string typed;
    for (int i = 0; i < 10; ++i) typed += syllables;
    auto& read = start_read();
    con.type(typed);
    // The end that fits: seven syllables in 14 cells, one blank.
    ASSERT_TRUE(field_shows("라마바사아자차", 14)) << con.screen().dump();
    con.type("\r");
    std::optional<LineRead> got = finish(read);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line.size(), 200u);
    EXPECT_EQ(got->line, cp949(typed));

    // 200 ASCII bytes fill the field; the cursor rests just after it.
    auto& ascii = start_read();
    con.type(std::string(199, 'a') + "b");
    ASSERT_TRUE(field_shows(std::string(14, 'a') + "b", 15)) << con.screen().dump();
    con.type("\r");
    EXPECT_EQ(finish(ascii).value().line, std::string(199, 'a') + "b");

    // Nothing was drawn outside the field: only row 48 between the markers
    // differs from the frame drawn first.
    std::string after = con.screen().dump();
    const std::string field_row = "48|" + std::string(83, ' ') + "[" + std::string(14, 'a') + "b]";
    EXPECT_NE(after.find(field_row), std::string::npos) << after;
    after.replace(after.find(field_row), field_row.size(),
                  "48|" + std::string(83, ' ') + "[" + std::string(15, ' ') + "]");
    EXPECT_EQ(after.substr(0, after.find("cursor")), frame.substr(0, frame.find("cursor")));
}

TEST_F(LineInputTest, OnceTheReadIsOverTheCursorStaysWhereDrawingLeavesIt) {
    auto& read = start_read();
    con.type("안녕");
    ASSERT_TRUE(field_shows("안녕", 4));
    con.type("\r");
    ASSERT_TRUE(finish(read).has_value());
    draw_at(10, 3, "x");
    EXPECT_TRUE(con.screen().wait_for([](const VtScreen& s) {
        return s.cursor().x == 11 && s.cursor().y == 3;
    })) << con.screen().dump();
}

TEST_F(LineInputTest, EndOfInputIsReportedAfterTheLinesBeforeIt) {
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    console::open_console(pipe_fds[0], con.slave_fd());  // keys from a pipe, drawing on the pty
    const std::string keys = "안녕\r기";
    ASSERT_EQ(::write(pipe_fds[1], keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    ::close(pipe_fds[1]);

    std::optional<LineRead> got = read_line();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->line, cp949("안녕"));
    for (int i = 0; i < 2; ++i) {  // and again, at once, when asked again
        auto& read = start_read();
        ASSERT_EQ(read.wait_for(kDefaultDeadline), std::future_status::ready);
        EXPECT_FALSE(read.get().has_value());
    }
    ::close(pipe_fds[0]);
}

}  // namespace
