// CP949 <-> UTF-8 on any bytes: the output is always well formed in its
// encoding, and text that converts without a mark comes back as it was.
#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"
#include "console/encoding.h"

namespace {

// Whether glibc decodes all of `s` as CP949, with nothing malformed or cut off.
bool valid_cp949(std::string_view s) {
    static iconv_t cd = iconv_open("UTF-8", "CP949");
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(s.data());
    std::size_t left = s.size();
    while (left > 0) {
        char out[256];
        char* dst = out;
        std::size_t room = sizeof out;
        if (iconv(cd, &src, &left, &dst, &room) == static_cast<std::size_t>(-1) && errno != E2BIG) {
            return false;
        }
    }
    return true;
}

bool marked(std::string_view s) { return s.find('?') != std::string_view::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static console::Converter to_utf8("CP949", "UTF-8");
    static console::Converter to_cp949("UTF-8", "CP949");
    // A view of libFuzzer's own buffer, so a read past it is caught.
    const std::string_view in(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = to_utf8.convert(in);
    fuzz::check(fuzz::valid_utf8(utf8), "CP949 -> UTF-8 gives UTF-8");
    if (!marked(in) && !marked(utf8)) {
        fuzz::check(to_cp949.convert(utf8) == in, "CP949 -> UTF-8 -> CP949 round trip");
    }

    const std::string cp949 = to_cp949.convert(in);
    fuzz::check(valid_cp949(cp949), "UTF-8 -> CP949 gives CP949");
    if (fuzz::valid_utf8(in) && !marked(in) && !marked(cp949)) {
        fuzz::check(to_utf8.convert(cp949) == in, "UTF-8 -> CP949 -> UTF-8 round trip");
    }
    return 0;
}
