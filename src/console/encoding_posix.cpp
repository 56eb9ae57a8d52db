// Text encodings through glibc's iconv.
#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstring>

#include "console/encoding.h"

namespace console {

std::string terminal_encoding() {
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0' || std::strcmp(codeset, "ANSI_X3.4-1968") == 0 ||
        std::strcmp(codeset, "ASCII") == 0) {
        return "UTF-8";
    }
    return codeset;
}

struct Converter::State {
    iconv_t cd;
    bool from_utf8;
};

Converter::Converter(const std::string& from, const std::string& to)
    : state_(new State{iconv_open(to.c_str(), from.c_str()), from == "UTF-8"}) {}

Converter::~Converter() {
    if (ok()) iconv_close(state_->cd);
}

bool Converter::ok() const { return state_->cd != reinterpret_cast<iconv_t>(-1); }

namespace {

// Converts `in` through `cd`, marking what does not convert (see convert).
void convert_run(iconv_t cd, bool from_utf8, std::string_view in, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char chunk[256];
    while (src_left > 0) {
        char* dst = chunk;
        std::size_t dst_left = sizeof chunk;
        std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
        out.append(chunk, static_cast<std::size_t>(dst - chunk));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ (no form in the target, or malformed input) or EINVAL
        // (a sequence cut off at the end): mark it and step over one byte.
        out.push_back('?');
        // glibc's CP949 decoder may already have stepped over the bad
        // sequence, to the end of the input.
        if (src_left == 0) break;
        ++src;
        --src_left;
        // Skip the rest of a malformed or unconvertible UTF-8 character so it
        // yields one mark, not one per byte.
        while (from_utf8 && src_left > 0 && (static_cast<unsigned char>(*src) & 0xC0) == 0x80) {
            ++src;
            --src_left;
        }
    }
}

// The length of the Unicode tag character (U+E0000 to U+E007F) that starts
// `in` at `i`, 0 if none starts there.
std::size_t tag_character_at(std::string_view in, std::size_t i) {
    if (in.size() - i < 4 || in[i] != '\xF3' || in[i + 1] != '\xA0') return 0;
    const auto third = static_cast<unsigned char>(in[i + 2]);
    const auto fourth = static_cast<unsigned char>(in[i + 3]);
    return (third == 0x80 || third == 0x81) && (fourth & 0xC0) == 0x80 ? 4 : 0;
}

}  // namespace

std::string Converter::convert(std::string_view in) {
    std::string out;
    if (!ok()) {
        // No conversion available: keep ASCII, mark everything else.
        for (unsigned char c : in) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return out;
    }
    if (!state_->from_utf8) {
        convert_run(state_->cd, false, in, out);
        return out;
    }
    // glibc drops a tag character that has no form in the target without a
    // word: it is marked here as any other such character.
    std::size_t run = 0;
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t tag = tag_character_at(in, i);
        if (tag == 0) {
            ++i;
            continue;
        }
        convert_run(state_->cd, true, in.substr(run, i - run), out);
        out.push_back('?');
        i += tag;
        run = i;
    }
    convert_run(state_->cd, true, in.substr(run), out);
    return out;
}

}  // namespace console
