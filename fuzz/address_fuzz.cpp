// The typed-address reader on any text: a host it accepts is a name, an
// IPv4 address or an IPv6 one that reads back the same, with a port in
// range; and an IPv6 address it reads is written back in a form it reads as
// the same address.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <variant>

#include "check.h"
#include "net/address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = net::parse_address(text, 8080);
    if (const auto* hp = std::get_if<net::HostPort>(&parsed)) {
        fuzz::check(!hp->host.empty() && hp->host.size() <= 253 + 33, "a host of a sane length");
        fuzz::check(hp->port >= 1, "a port in range");
        for (char c : hp->host) {
            fuzz::check(c > ' ' && c < 0x7f && c != '[' && c != ']', "a host of plain characters");
        }
        fuzz::check(text.find(hp->host) != std::string_view::npos, "the host as typed");
    }
    if (const auto v6 = net::parse_ipv6(text)) {
        net::IpAddress ip;
        ip.family = net::Family::v6;
        ip.bytes = *v6;
        const auto again = net::parse_ipv6(net::ip_text(ip));
        fuzz::check(again && *again == *v6, "an IPv6 address reads back the same");
    }
    return 0;
}
