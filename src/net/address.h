// Addresses as a player types them and as the sockets take them: the text
// of the join prompt and --join cut into a host and a port, IP addresses
// held apart from any socket library, and their texts as a player would
// type them back. Everything here is pure.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace net {

using Clock = std::chrono::steady_clock;

// The port a host listens on unless --port says otherwise; a typed address
// without a port means this one.
inline constexpr std::uint16_t kDefaultPort = 8080;

// What a component of the event loop waits on: its socket becoming
// readable, writable, or either.
struct Watch {
    int sock = -1;
    bool read = false;
    bool write = false;
};

// A typed address cut in two. `host` is a name, a dotted IPv4 address or an
// IPv6 address without its brackets; `port` is the one typed, else the
// default.
struct HostPort {
    std::string host;
    std::uint16_t port = kDefaultPort;

    bool operator==(const HostPort&) const = default;
};

enum class AddressError {
    empty,      // nothing typed (blanks alone count as nothing)
    bad_port,   // a port that is no whole number from 1 to 65535
    malformed,  // neither a name, nor an IPv4 address, nor an IPv6 address
};

// Reads "name", "name:port", "1.2.3.4", "1.2.3.4:port", "2001:db8::1" and
// "[2001:db8::1]:port" (an IPv6 address takes a port only in brackets).
// Blanks around the text are dropped. A name is letters, digits, '-', '_'
// and '.', at most 253 bytes; text of digits and dots alone must be four
// numbers 0-255 (no shortened forms, which the resolver would read as some
// other address). An IPv6 address may carry a zone ("fe80::1%eth0").
std::variant<HostPort, AddressError> parse_address(std::string_view text,
                                                   std::uint16_t default_port = kDefaultPort);

// A whole number from 1 to 65535, digits only; nothing otherwise.
std::optional<std::uint16_t> parse_port(std::string_view text);

enum class Family : std::uint8_t { v4, v6 };

// An IPv4 address (the first four bytes) or an IPv6 address, in network
// byte order, with the IPv6 zone (interface index) a link-local address
// needs.
struct IpAddress {
    Family family = Family::v4;
    std::array<std::uint8_t, 16> bytes{};
    std::uint32_t scope = 0;

    bool operator==(const IpAddress&) const = default;
};

// An address and a port: where to connect, or who sent a datagram.
struct Endpoint {
    IpAddress ip;
    std::uint16_t port = 0;

    bool operator==(const Endpoint&) const = default;
};

// The IPv6 address `text` (RFC 4291 text forms, an IPv4 tail allowed, no
// zone, no brackets); nothing if it is none.
std::optional<std::array<std::uint8_t, 16>> parse_ipv6(std::string_view text);

// The address as RFC 5952 writes it: "192.168.0.10", "2001:db8::1"
// (lowercase, the longest run of zero groups shortened). No zone.
std::string ip_text(const IpAddress& ip);

// The endpoint as a player types it: the port only when it is not
// `default_port`, and an IPv6 address then in brackets ("10.0.0.2",
// "10.0.0.2:9090", "2001:db8::1", "[2001:db8::1]:9090").
std::string endpoint_text(const Endpoint& endpoint, std::uint16_t default_port = kDefaultPort);

// Whether a friend elsewhere could reach this machine at `ip`: not the
// unspecified address, loopback, link-local (which needs a zone nobody
// types), multicast, nor an IPv4 address written as IPv6.
bool reachable_by_friend(const IpAddress& ip);

// Whether `ip` is an IPv6 link-local address (fe80::/10): the one kind of
// address that means something only with its zone (interface index). The
// system gives every other address, a datagram's sender too, with none.
bool is_link_local_v6(const IpAddress& ip);

}  // namespace net
