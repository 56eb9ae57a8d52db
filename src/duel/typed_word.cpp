#include "duel/typed_word.h"

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

}  // namespace duel
