// The history file's text, any bytes: every line is a match, skipped
// silently (header, comment, empty) or named as damaged, in order, and a
// match read back is written as a line that reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "shell/history.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A view of libFuzzer's own buffer, so a read past it is caught.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const shell::History h = shell::parse_history(text);

    long lines = 0;
    for (char c : text) lines += c == '\n';
    if (!text.empty() && text.back() != '\n') ++lines;
    fuzz::check(h.records.size() + h.damaged_lines.size() <= static_cast<std::size_t>(lines),
                "at most one match or damage per line");
    for (std::size_t i = 0; i < h.damaged_lines.size(); ++i) {
        fuzz::check(h.damaged_lines[i] >= 1 && h.damaged_lines[i] <= lines, "a line of the text");
        fuzz::check(i == 0 || h.damaged_lines[i] > h.damaged_lines[i - 1], "in order, once each");
    }
    for (const shell::MatchRecord& r : h.records) {
        const std::string line = shell::format_record(r);
        fuzz::check(line.find('\n') == line.size() - 1, "one line, ended");
        fuzz::check(shell::parse_record(std::string_view(line).substr(0, line.size() - 1)) == r,
                    "a match reads back as it was written");
        fuzz::check(r.hits <= r.words, "no more hits than words");
    }
    return 0;
}
