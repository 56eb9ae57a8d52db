// The menu's key decoder on any terminal input: no sequence swallows a key
// that cannot belong to it, and a key typed after the input ends is that key.
#include <cstddef>
#include <cstdint>

#include "check.h"
#include "console/keys.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    console::KeyDecoder decoder;
    auto drain = [&decoder] {
        int keys = 0;
        int last = -1;
        while (decoder.has_key()) {
            last = decoder.take_key();
            ++keys;
        }
        // A byte gives at most an ESC it ended and itself, or an arrow's two.
        fuzz::check(keys <= 2, "at most two keys a byte");
        return last;
    };
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        decoder.feed(b);
        const int last = drain();
        // Control bytes (but ESC) and bytes from DEL up belong to no
        // sequence: each is a key of its own, at once.
        if ((b < 0x20 && b != 0x1b) || b >= 0x7f) fuzz::check(last == b, "the byte is a key");
    }
    decoder.flush();
    drain();
    decoder.feed('x');
    fuzz::check(drain() == 'x', "a key after the end of input comes through");
    return 0;
}
