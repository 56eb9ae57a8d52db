#include "console/line_editor.h"

#include <utility>

namespace console {

namespace {

constexpr std::uint8_t kEsc = 0x1b;
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kDelete = 0x7f;

struct Range {
    std::uint32_t first;
    std::uint32_t last;
};

// Characters that terminals draw two cells wide: East Asian Wide and
// Fullwidth, as the C library's wcwidth counts them in a UTF-8 locale (the
// tests check every code point against it), and whole emoji blocks.
// Counting a character wider than the terminal does only leaves a blank cell
// at the end of the field; counting it narrower would push the echo out of
// the field, so the emoji blocks err on the wide side.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},
    {0x2648, 0x2653},   {0x267F, 0x267F},   {0x2693, 0x2693},   {0x26A1, 0x26A1},
    {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},   {0x26CE, 0x26CE},
    {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},
    {0x2728, 0x2728},   {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},
    {0x2757, 0x2757},   {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},
    {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},   {0x2E80, 0x303E},
    {0x3041, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
    {0x16FE0, 0x16FE3}, {0x16FF0, 0x16FF1}, {0x17000, 0x187F7}, {0x18800, 0x18CD5},
    {0x18D00, 0x18D08}, {0x1AFF0, 0x1AFF3}, {0x1AFF5, 0x1AFFB}, {0x1AFFD, 0x1AFFE},
    {0x1B000, 0x1B122}, {0x1B150, 0x1B152}, {0x1B164, 0x1B167}, {0x1B170, 0x1B2FB},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A},
    {0x1F200, 0x1F202}, {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251},
    {0x1F260, 0x1F265}, {0x1F300, 0x1F64F}, {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB},
    {0x1F7F0, 0x1F7F0}, {0x1F900, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD},
    {0x30000, 0x3FFFD},
};

// Characters of no width of their own: combining marks (including the
// Hangul vowel and final jamo that join a leading consonant), zero-width
// spaces and joiners, direction marks, variation selectors, the byte order
// mark. They are not kept: the field could not show them where they belong.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489},   {0x0591, 0x05BD}, {0x1160, 0x11FF}, {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF}, {0x200B, 0x200F},   {0x2028, 0x202E}, {0x2060, 0x206F}, {0x20D0, 0x20FF},
    {0x302A, 0x302F}, {0x3099, 0x309A},   {0xD7B0, 0xD7FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF}, {0xE0000, 0xE0FFF},
};

template <std::size_t N>
bool in_ranges(const Range (&ranges)[N], std::uint32_t cp) {
    for (const Range& r : ranges) {
        if (cp >= r.first && cp <= r.last) return true;
    }
    return false;
}

}  // namespace

int cell_width(std::uint32_t cp) {
    if (in_ranges(kZeroWidth, cp)) return 0;
    return in_ranges(kWide, cp) ? 2 : 1;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

Framing framing_of(std::string_view encoding) {
    for (std::string_view korean : {"CP949", "UHC", "EUC-KR", "EUCKR"}) {
        if (encoding == korean) return Framing::double_byte;
    }
    return Framing::utf8;
}

bool LineEditor::feed(std::uint8_t b) {
    bool after_cr = std::exchange(after_cr_, false);
    if (escape_.active()) {
        const EscapeScanner::Step step = escape_.feed(b);
        if (step == EscapeScanner::Step::done && escape_.paste_start()) {
            pasting_ = true;
            dropped_paste_ = dropped_paste_ || pastes_ == Pastes::drop;
        } else if (step == EscapeScanner::Step::done && escape_.paste_end()) {
            pasting_ = false;
        }
        if (step != EscapeScanner::Step::broken) return false;
    }
    if (pasting_ && pastes_ == Pastes::drop) {
        if (b == 0x1b) escape_.start();  // the end mark, or a sequence inside
        return false;
    }
    if (in_char() && continue_char(b)) return false;
    return ground(b, after_cr);
}

// True when `b` carried the partial character on; false when it cannot
// belong to it: the partial character is malformed and `b` starts afresh.
bool LineEditor::continue_char(std::uint8_t b) {
    if (framing_ == Framing::double_byte) {
        have_lead_ = false;
        if (!is_cp949_trail(b)) {
            malformed();
            return false;
        }
        const char pair[2] = {lead_, static_cast<char>(b)};
        append(pair, 2, 2);
        return true;
    }
    switch (utf8_.feed(b)) {
        case Utf8Decoder::Step::broken:
            malformed();
            return false;
        case Utf8Decoder::Step::done:
            finish_utf8();
            return true;
        default:
            return true;
    }
}

bool LineEditor::ground(std::uint8_t b, bool after_cr) {
    if (b >= 0x80) {
        start_char(b);
        return false;
    }
    skipping_ = false;
    switch (b) {
        case '\r':
            after_cr_ = true;
            return true;
        case '\n':
            return !after_cr;  // the LF of a CR LF pair is the same Enter
        case kDelete:
        case kBackspace:
            backspace();
            return false;
        case kEsc:
            escape_.start();
            return false;
        default:
            if (b >= 0x20) {
                const char c = static_cast<char>(b);
                append(&c, 1, 1);
            }
            return false;  // other control bytes mean nothing in a line
    }
}

void LineEditor::start_char(std::uint8_t b) {
    if (framing_ == Framing::double_byte) {
        skipping_ = false;
        if (!is_cp949_lead(b)) {
            malformed();
        } else {
            lead_ = static_cast<char>(b);
            have_lead_ = true;
        }
        return;
    }
    if (b <= 0xBF) {  // continuation byte with no lead
        if (!skipping_) malformed();
        return;
    }
    skipping_ = false;
    if (utf8_.feed(b) == Utf8Decoder::Step::malformed) malformed();  // C0, C1, F5..FF
}

void LineEditor::finish_utf8() {
    if (utf8_.code() <= 0x9F) return;  // C1 controls
    const int width = cell_width(utf8_.code());
    if (width > 0) append(utf8_.bytes().data(), utf8_.bytes().size(), width);
}

void LineEditor::malformed() {
    append("?", 1, 1);
    skipping_ = true;
}

void LineEditor::append(const char* bytes, std::size_t n, int width) {
    if (text_.size() + n > kMaxBytes) return;
    text_.append(bytes, n);
    glyphs_.push_back(Glyph{static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(width)});
    width_ += width;
}

void LineEditor::backspace() {
    if (glyphs_.empty()) return;
    text_.resize(text_.size() - glyphs_.back().bytes);
    width_ -= glyphs_.back().width;
    glyphs_.pop_back();
}

LineEditor::Tail LineEditor::tail(int cells) const {
    std::size_t bytes = 0;
    int width = 0;
    for (auto g = glyphs_.rbegin(); g != glyphs_.rend() && width + g->width <= cells; ++g) {
        bytes += g->bytes;
        width += g->width;
    }
    return Tail{std::string_view(text_).substr(text_.size() - bytes), width};
}

std::string LineEditor::take_line() {
    std::string line = std::move(text_);
    text_.clear();
    glyphs_.clear();
    width_ = 0;
    return line;
}

void LineEditor::clear() {
    take_line();
    escape_.reset();
    after_cr_ = false;
    utf8_.reset();
    have_lead_ = false;
    skipping_ = false;
    pasting_ = false;
}

}  // namespace console
