#include "duel/typed_word.h"

#include "console/console.h"
#include "duel/tables.h"

namespace duel {

namespace {

constexpr std::size_t kMaxWord = kWordSlot - 1;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The length of the longest prefix of `run` that fits in `limit` bytes
// without cutting a CP949 character (a lead byte 0x81..0xFE and its trail).
std::size_t whole_characters(std::string_view run, std::size_t limit) {
    std::size_t n = 0;
    while (n < run.size()) {
        std::size_t len = static_cast<unsigned char>(run[n]) >= 0x81 ? 2 : 1;
        if (n + len > limit || n + len > run.size()) break;
        n += len;
    }
    return n;
}

}  // namespace

std::deque<std::string> split_words(std::string_view line) {
    std::deque<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && is_blank(line[i])) ++i;
        std::size_t start = i;
        while (i < line.size() && !is_blank(line[i])) ++i;
        if (i > start) {
            std::string_view run = line.substr(start, i - start);
            words.emplace_back(run.substr(0, whole_characters(run, kMaxWord)));
        }
    }
    return words;
}

// The words are Hangul: letter keys compose them where no input method does.
TypedWordReader::TypedWordReader(Inbox& inbox)
    : input_(console::Composition::hangul, console::EnterEcho::none),
      thread_([this, &inbox] { read_lines(inbox); }) {}

TypedWordReader::~TypedWordReader() { abandon(); }

void TypedWordReader::abandon() {
    {
        std::lock_guard guard(mutex_);
        abandoned_ = true;
    }
    go_on_.notify_one();
    input_.cancel();
    // The reader may be waiting for the console lock to draw its echo: never
    // abandon it while holding a drawing step.
    if (thread_.joinable()) thread_.join();
}

void TypedWordReader::next_line() {
    static const std::string blanks(kInputCells, ' ');
    console::DrawStep step;
    console::print_at_grid(kInputCol, kInputRow, blanks.c_str());
    console::set_cursor_rest(3 * kInputCol, kInputRow);
    {
        std::lock_guard guard(mutex_);
        line_waiting_ = false;
    }
    go_on_.notify_one();
}

void TypedWordReader::read_lines(Inbox& inbox) {
    for (;;) {
        console::LineRead read =
            input_.read_line(console::Field{3 * kInputCol, kInputRow, kInputCells});
        if (read.status != console::ReadStatus::line) return;  // abandoned, or no keyboard
        std::unique_lock lock(mutex_);
        line_waiting_ = true;
        inbox.post(TypedLine{std::move(read.line), read.first_key, Clock::now()});
        go_on_.wait(lock, [this] { return !line_waiting_ || abandoned_; });
        if (abandoned_) return;
    }
}

}  // namespace duel
