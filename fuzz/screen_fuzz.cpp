// The console's model of the screen on any drawing: no cell out of bounds,
// a right half always beside its character, and the terminal told exactly
// what the model holds (a model rebuilt from the changes alone is the same).
// The changes, taken from the spans the drawing touched, are the very runs
// a scan of every cell against the rebuilt model finds.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "check.h"
#include "console/screen.h"

namespace {

constexpr int kCols = 12;
constexpr int kRows = 3;

// Every character, a wide one with its right half, that differs from what
// `shown` holds, row by row, joined into runs as take_changes joins them.
std::vector<console::Screen::Run> full_scan(const console::Screen& model,
                                            const console::Screen& shown) {
    std::vector<console::Screen::Run> runs;
    for (int y = 0; y < kRows; ++y) {
        console::Screen::Run* run = nullptr;
        for (int x = 0; x < kCols; ++x) {
            const int width = x + 1 < kCols && model.cell(x + 1, y).right_half ? 2 : 1;
            bool changed = false;
            for (int i = 0; i < width; ++i)
                changed = changed || model.cell(x + i, y) != shown.cell(x + i, y);
            const console::Screen::Cell& c = model.cell(x, y);
            if (!changed || c.text.empty()) {
                run = nullptr;
            } else {
                if (run == nullptr || run->attr != c.attr) {
                    runs.push_back({x, y, 0, c.attr, {}});
                    run = &runs.back();
                }
                run->text += c.text;
                run->cells += width;
            }
            x += width - 1;
        }
    }
    return runs;
}

void replay(console::Screen& model, console::Screen& terminal) {
    console::Screen::Changes changes = model.take_changes();
    if (changes.cleared) terminal.clear();
    fuzz::check(changes.runs == full_scan(model, terminal),
                "the changes are what a scan of every cell finds");
    for (const console::Screen::Run& run : changes.runs) {
        terminal.move_to(run.x, run.y);
        terminal.set_attr(run.attr);
        terminal.put(run.text);
    }
    for (int y = 0; y < kRows; ++y) {
        for (int x = 0; x < kCols; ++x) {
            const console::Screen::Cell& c = model.cell(x, y);
            fuzz::check(c == terminal.cell(x, y), "the terminal shows what the model holds");
            if (c.right_half) {
                fuzz::check(x > 0 && !model.cell(x - 1, y).text.empty() &&
                                !model.cell(x - 1, y).right_half,
                            "a right half beside its character");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto framing = data[0] & 1 ? console::Framing::double_byte : console::Framing::utf8;
    console::Screen model(kCols, kRows, framing);
    console::Screen terminal(kCols, kRows, framing);
    for (std::size_t i = 1; i + 2 < size; i += 3) {
        const std::uint8_t a = data[i + 1];
        const std::uint8_t b = data[i + 2];
        switch (data[i] % 6) {
            case 0: model.move_to(a % (kCols + 3) - 1, b % (kRows + 2) - 1); break;
            case 1: model.set_attr(static_cast<console::Attr>(a | b << 8)); break;
            case 2: model.clear(); break;
            case 3: {
                const std::size_t n = std::min<std::size_t>(a % 8, size - i - 3);
                model.put(std::string_view(reinterpret_cast<const char*>(data + i + 3), n));
                i += n;
                break;
            }
            case 4: replay(model, terminal); break;
            case 5: model.invalidate(); break;
        }
    }
    replay(model, terminal);
    return 0;
}
