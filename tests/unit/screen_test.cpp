// The console's model of the screen, and the console presenting it: each
// outermost drawing step is one write, and the terminal shows what the
// model holds.
#include "console/screen.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "console/console.h"
#include "support/vt_screen.h"

namespace {

using console::Screen;

TEST(Screen, KeepsWhatWasDrawnCellByCellAndHandsOverEachChangeOnce) {
    Screen s(20, 3, console::Framing::utf8);
    s.move_to(2, 1);
    s.set_attr(12);
    s.put("ab\xEC\x95\x88");  // "ab안": the syllable is two cells
    s.set_attr(console::kGrey | console::kUnderline);
    s.put("c");
    EXPECT_EQ(s.cell(4, 1).text, "\xEC\x95\x88");
    EXPECT_TRUE(s.cell(5, 1).right_half);
    EXPECT_EQ(s.cell(6, 1).attr, console::kGrey | console::kUnderline);
    EXPECT_EQ(s.x(), 7);
    EXPECT_TRUE(s.cell(0, 1).text.empty()) << "never written";

    Screen::Changes c = s.take_changes();
    ASSERT_EQ(c.runs.size(), 2u);
    EXPECT_EQ(c.runs[0].x, 2);
    EXPECT_EQ(c.runs[0].cells, 4);
    EXPECT_EQ(c.runs[0].text, "ab\xEC\x95\x88");
    EXPECT_EQ(c.runs[1].attr, console::kGrey | console::kUnderline);
    EXPECT_TRUE(s.take_changes().runs.empty());

    // Half of the syllable written over: the other half is a blank.
    s.move_to(5, 1);
    s.set_attr(12);
    s.put("x");
    EXPECT_EQ(s.cell(4, 1).text, " ");
    c = s.take_changes();
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.runs[0].text, " x");

    // Past the right edge nothing is kept; after a resize the whole model
    // comes again, erased first.
    s.move_to(19, 0);
    s.put("yz");
    EXPECT_EQ(s.cell(19, 0).text, "y");
    s.take_changes();
    s.invalidate();
    c = s.take_changes();
    EXPECT_TRUE(c.cleared);
    ASSERT_EQ(c.runs.size(), 3u);  // "y"; "ab x"; the underlined "c"
    EXPECT_EQ(c.runs[1].text, "ab x");
}

TEST(Screen, HandsOverOnlyTheCellsADrawingChangedRowByRow) {
    Screen s(20, 4, console::Framing::utf8);
    s.move_to(0, 3);
    s.put("low");
    s.move_to(5, 0);
    s.put("high");
    Screen::Changes c = s.take_changes();
    ASSERT_EQ(c.runs.size(), 2u);
    EXPECT_EQ(c.runs[0].text, "high") << "row by row, whatever the order of drawing";
    EXPECT_EQ(c.runs[1].text, "low");

    // The same text drawn again changes nothing, and nothing is handed over.
    s.move_to(5, 0);
    s.put("high");
    s.move_to(1, 3);
    s.put("ow");
    EXPECT_TRUE(s.take_changes().runs.empty());

    // One letter changed among drawn ones is a run of one cell.
    s.move_to(5, 0);
    s.put("hugh");
    c = s.take_changes();
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.runs[0].x, 6);
    EXPECT_EQ(c.runs[0].text, "u");

    // Erased, then drawn: the erase and what came after it, nothing from
    // before it.
    s.move_to(0, 1);
    s.put("gone");
    s.clear();
    s.move_to(2, 2);
    s.put("new");
    c = s.take_changes();
    EXPECT_TRUE(c.cleared);
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.runs[0].y, 2);
    EXPECT_EQ(c.runs[0].text, "new");
    c = s.take_changes();
    EXPECT_FALSE(c.cleared);
    EXPECT_TRUE(c.runs.empty());

    // A terminal that shows nothing of the model is given all of it.
    s.invalidate();
    c = s.take_changes();
    EXPECT_TRUE(c.cleared);
    ASSERT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.runs[0].text, "new");
}

// The console drawing on a socket that keeps the bounds of each write.
class Presented : public ::testing::Test {
  protected:
    Presented() {
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds_) != 0) std::abort();
        console::open_console(fds_[1], fds_[1]);
    }
    ~Presented() override {
        console::open_console(0, 1);
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    // Every write since the last call, one string each, shown to `term`.
    std::vector<std::string> writes() {
        std::vector<std::string> out;
        char buf[1 << 16];
        ssize_t n;
        while ((n = ::recv(fds_[0], buf, sizeof buf, MSG_DONTWAIT)) > 0) {
            out.emplace_back(buf, static_cast<std::size_t>(n));
            term.feed(out.back());
        }
        return out;
    }
    taja::test::VtScreen term;

  private:
    int fds_[2];
};

TEST_F(Presented, AnOutermostStepIsOneWriteWithNoPlacementOrColourSentTwice) {
    {
        console::DrawStep step;
        console::clear_screen();
        for (int i = 0; i < 50; ++i) {
            console::set_color(12);
            console::print_at(10 + i, 5, "#");
        }
        console::print_at(0, 7, "\xBE\xC8\xB3\xE7");  // 안녕
    }
    std::vector<std::string> w = writes();
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(term.text(10, 5, 50), std::string(50, '#'));
    EXPECT_EQ(term.cell(59, 5).fg, 9);
    EXPECT_EQ(term.text(0, 7, 4), "안녕");
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = w[0].find(what); at != std::string::npos; at = w[0].find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("\x1b[6;11H"), 1u);  // the fifty marks follow each other
    EXPECT_EQ(count("\x1b[0;91;40m"), 1u);

    // A lone primitive is its own step; a step that changes nothing sends
    // nothing.
    console::print_at(0, 0, "z");
    EXPECT_EQ(writes().size(), 1u);
    { console::DrawStep nothing; }
    EXPECT_TRUE(writes().empty());
}

TEST_F(Presented, UnderlinedTextIsUnderlinedOnTheTerminal) {
    {
        console::DrawStep step;
        console::print_at(0, 0, "a");
        console::set_underline(true);
        console::write_raw("b", 1);
        console::set_underline(false);
        console::write_raw("c", 1);
    }
    writes();
    EXPECT_FALSE(term.cell(0, 0).underline);
    EXPECT_TRUE(term.cell(1, 0).underline);
    EXPECT_FALSE(term.cell(2, 0).underline);
}

}  // namespace
