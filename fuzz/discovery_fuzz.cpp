// The discovery datagram reader on any bytes: it never reads past the
// datagram, a datagram it takes has a port and a printable label of at most
// 63 bytes, and an announcement it takes is written again as one that
// reads the same (its unknown fields aside).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "check.h"
#include "net/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of its exact size, so that reading past the end is caught.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto d = net::decode_datagram(bytes.data(), bytes.size());
    if (!d) return 0;
    fuzz::check(size <= net::kMaxDatagram, "nothing longer than 512 bytes");
    const net::Announcement& a = d->announcement;
    fuzz::check(a.label.size() <= net::kMaxLabel, "a short label");
    fuzz::check(fuzz::valid_utf8(a.label), "a label of UTF-8");
    for (unsigned char c : a.label) fuzz::check(c >= 0x20 && c != 0x7f, "no control bytes");
    if (d->kind != net::DatagramKind::announcement) return 0;
    fuzz::check(a.port != 0, "a port");
    const std::vector<std::uint8_t> again = net::encode_announcement(a);
    const auto back = net::decode_datagram(again.data(), again.size());
    fuzz::check(back && back->announcement.port == a.port && back->announcement.label == a.label &&
                    back->announcement.run == a.run,
                "an announcement written again reads the same");
    return 0;
}
