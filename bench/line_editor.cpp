// Figures for the line editor, printed, never judged: the time per key of
// the typed-word field's input, letter keys composed into Hangul (two-set)
// and Hangul that arrives already composed (an input method, a paste). Every
// key costs this much on top of the one drawing step that echoes it.
#include "console/line_editor.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "console/encoding.h"
#include "console/hangul_composer.h"
#include "duel/tables.h"
#include "support/two_set.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRounds = 2000;

// Nanoseconds per byte fed, over kRounds lines of every word in `words`.
double ns_per_key(const std::string& line, console::HangulComposer* composer) {
    console::LineEditor editor(console::Framing::utf8);
    std::size_t fed = 0;
    const auto start = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
        for (char c : line) {
            if (console::feed_key(editor, composer, static_cast<std::uint8_t>(c)))
                editor.take_line();
        }
        fed += line.size();
    }
    const auto elapsed = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return elapsed / static_cast<double>(fed);
}

}  // namespace

int main() {
    console::Converter to_utf8("CP949", "UTF-8");
    std::string keys;
    std::string text;
    for (int i = 0; i < duel::kWordCount; ++i) {
        const std::string word = to_utf8.convert(duel::word_table[i]);
        keys += taja::test::two_set_keys(word) + "\r";
        text += word + "\r";
    }
    auto composer = console::make_hangul_composer("UTF-8");
    if (!composer) {
        std::printf("no Hangul composer in this build\n");
        return 1;
    }
    std::printf("letter keys composed (two-set):   %7.1f ns per key\n",
                ns_per_key(keys, composer.get()));
    std::printf("composed text, through a composer: %6.1f ns per byte\n",
                ns_per_key(text, composer.get()));
    std::printf("composed text, no composer:       %7.1f ns per byte\n", ns_per_key(text, nullptr));
    return 0;
}
