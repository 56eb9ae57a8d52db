// Text encodings through the system's code pages (kernel32): CP949 is code
// page 949 on every Windows, whatever code page the console itself has.
#include "console/encoding_win32.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "console/encoding.h"

namespace console {

namespace {

// The code page an iconv-style name stands for; 0 for none.
unsigned code_page_of(const std::string& name) {
    if (name == "UTF-8" || name == "UTF8") return kCodePageUtf8;
    if (name == "CP949" || name == "UHC" || name == "EUC-KR" || name == "EUCKR") {
        return kCodePageCp949;
    }
    if (name.size() > 2 && name.compare(0, 2, "CP") == 0) {
        char* end = nullptr;
        unsigned long n = std::strtoul(name.c_str() + 2, &end, 10);
        if (*end == '\0' && n > 0 && n < 65536) return static_cast<unsigned>(n);
    }
    return 0;
}

// Appends the UTF-16 of `n` bytes at `p`; false when they are no whole
// character sequence of the code page.
bool append_wide(std::wstring& out, const char* p, int n, unsigned code_page) {
    int len = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, p, n, nullptr, 0);
    if (len <= 0) return false;
    std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(len));
    ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, p, n, out.data() + at, len);
    return true;
}

// The bytes of the character that starts at `p`, by the code page's framing.
int character_length(const unsigned char* p, std::size_t left, unsigned code_page) {
    int n = 1;
    if (code_page == kCodePageUtf8) {
        n = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC0 ? 2 : 1;
    } else if (::IsDBCSLeadByteEx(code_page, p[0])) {
        n = 2;
    }
    return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(n), left));
}

// The bytes of code page `code_page` that stand for exactly `in`, or nothing
// when `in` has no form there. The round trip catches both the default
// character and a "best fit" look-alike.
std::string exact_bytes(std::wstring_view in, unsigned code_page) {
    const int n = static_cast<int>(in.size());
    const DWORD flags = code_page == kCodePageUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int len = ::WideCharToMultiByte(code_page, flags, in.data(), n, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return {};
    std::string bytes(static_cast<std::size_t>(len), '\0');
    ::WideCharToMultiByte(code_page, flags, in.data(), n, bytes.data(), len, nullptr, nullptr);
    std::wstring back;
    if (!append_wide(back, bytes.data(), len, code_page) || back != in) return {};
    return bytes;
}

}  // namespace

std::wstring to_wide(std::string_view in, unsigned code_page) {
    std::wstring out;
    if (in.empty()) return out;
    if (append_wide(out, in.data(), static_cast<int>(in.size()), code_page)) return out;
    // Somewhere a sequence is malformed: go character by character.
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    std::size_t left = in.size();
    while (left > 0) {
        int n = character_length(p, left, code_page);
        if (append_wide(out, reinterpret_cast<const char*>(p), n, code_page)) {
            p += n;
            left -= static_cast<std::size_t>(n);
            continue;
        }
        out.push_back(L'?');
        ++p;
        --left;
        // The rest of a malformed UTF-8 character belongs to the same mark.
        while (code_page == kCodePageUtf8 && left > 0 && (*p & 0xC0) == 0x80) {
            ++p;
            --left;
        }
    }
    return out;
}

std::string from_wide(std::wstring_view in, unsigned code_page) {
    if (in.empty()) return {};
    std::string whole = exact_bytes(in, code_page);
    if (!whole.empty()) return whole;
    // Some character has no form here: one character at a time.
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        std::size_t n = IS_HIGH_SURROGATE(in[i]) && i + 1 < in.size() ? 2 : 1;
        std::string bytes = exact_bytes(in.substr(i, n), code_page);
        out += bytes.empty() ? std::string("?") : bytes;
        i += n;
    }
    return out;
}

std::string terminal_encoding() { return "UTF-8"; }

struct Converter::State {
    unsigned from;
    unsigned to;
};

Converter::Converter(const std::string& from, const std::string& to)
    : state_(new State{code_page_of(from), code_page_of(to)}) {}

Converter::~Converter() = default;

bool Converter::ok() const {
    return state_->from != 0 && state_->to != 0 && ::IsValidCodePage(state_->from) &&
           ::IsValidCodePage(state_->to);
}

std::string Converter::convert(std::string_view in) {
    if (!ok()) {
        // No conversion available: keep ASCII, mark everything else.
        std::string out;
        for (unsigned char c : in) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return out;
    }
    return from_wide(to_wide(in, state_->from), state_->to);
}

}  // namespace console
