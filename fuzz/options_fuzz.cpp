// The command line: any words in any order are read into options without a
// crash, and what is taken is within its range: a practice speed from 50 to
// 1000, a port from 1 to 65535.
#include <getopt.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "duel/practice_rival.h"
#include "shell/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The words, split at NUL bytes, after the program's name.
    std::vector<std::string> words{"taja-duel"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < 16; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < 16) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    optind = 0;  // getopt_long starts afresh
    opterr = 0;  // and says nothing on stderr
    const shell::Options options =
        shell::parse_options(static_cast<int>(words.size()), argv.data());
    if (options.outcome != shell::Outcome::run) return 0;
    if (options.speed) {
        fuzz::check(
            *options.speed >= duel::kMinPracticeSpeed && *options.speed <= duel::kMaxPracticeSpeed,
            "a practice speed from 50 to 1000");
    }
    fuzz::check(options.port >= 1, "a port from 1 to 65535");
    return 0;
}
