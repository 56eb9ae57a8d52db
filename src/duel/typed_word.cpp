#include "duel/typed_word.h"

#include <cstring>

#include "console/console.h"
#include "net/wakeup.h"

namespace duel {

namespace {

constexpr int kFieldCol = 28;  // grid (28, 48): cells 84 to 98 of row 48
constexpr int kFieldRow = 48;
constexpr int kFieldCells = 15;
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
TypedWordReader::TypedWordReader() : input_(console::Composition::hangul) {}

TypedWordReader::~TypedWordReader() { abandon(); }

void TypedWordReader::start(UserBuffer& user) {
    if (thread_.joinable()) thread_.join();  // the previous read has ended
    state_.store(State::in_progress);
    thread_ = std::thread(read_typed_word, std::ref(user), std::ref(*this));
}

void TypedWordReader::take() {
    if (thread_.joinable()) thread_.join();
    state_.store(State::idle);
}

void TypedWordReader::abandon() {
    input_.cancel();
    // The reader may be waiting for the console lock to draw: never join it
    // while holding a drawing step.
    if (thread_.joinable()) thread_.join();
    words_.clear();
    state_.store(State::idle);
    input_.resume();
}

void read_typed_word(UserBuffer& user, TypedWordReader& reader) {
    {
        console::DrawStep step;
        console::set_cursor_grid(kFieldCol, kFieldRow);
        console::print_text("%s", "               ");  // 15 blanks: the field is empty
        console::set_cursor_grid(kFieldCol, kFieldRow);
    }
    while (reader.words_.empty()) {
        console::LineRead read =
            reader.input_.read_line(console::Field{3 * kFieldCol, kFieldRow, kFieldCells});
        if (read.status != console::ReadStatus::line) return;  // abandoned, or no keyboard
        reader.words_ = split_words(read.line);
    }
    const std::string& word = reader.words_.front();
    std::memcpy(user, word.data(), word.size());
    user[word.size()] = '\0';
    reader.words_.pop_front();
    reader.state_.store(TypedWordReader::State::completed);  // after the word is in place
    net::signal_match();
}

}  // namespace duel
