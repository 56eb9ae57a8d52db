#include "net/address.h"

#include <cstddef>
#include <vector>

namespace net {

namespace {

constexpr std::size_t kMaxNameBytes = 253;
// The longest zone worth taking: an interface name or index.
constexpr std::size_t kMaxZoneBytes = 32;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

int hex_value(char c) {
    if (is_digit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Four decimal numbers 0-255 with dots between, no leading zeros.
std::optional<std::array<std::uint8_t, 4>> parse_ipv4(std::string_view s) {
    std::array<std::uint8_t, 4> out{};
    for (std::size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (s.empty() || s.front() != '.') return std::nullopt;
            s.remove_prefix(1);
        }
        std::size_t n = 0;
        int value = 0;
        while (n < s.size() && n < 4 && is_digit(s[n])) value = value * 10 + (s[n++] - '0');
        if (n == 0 || n > 3 || value > 255 || (n > 1 && s.front() == '0')) return std::nullopt;
        out[part] = static_cast<std::uint8_t>(value);
        s.remove_prefix(n);
    }
    if (!s.empty()) return std::nullopt;
    return out;
}

bool only_digits_and_dots(std::string_view s) {
    for (char c : s) {
        if (!is_digit(c) && c != '.') return false;
    }
    return true;
}

bool is_name(std::string_view s) {
    if (s.empty() || s.size() > kMaxNameBytes) return false;
    for (char c : s) {
        const bool ok = is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        c == '-' || c == '_' || c == '.';
        if (!ok) return false;
    }
    return true;
}

// An IPv6 address with an optional zone after '%'.
bool is_ipv6_with_zone(std::string_view s) {
    const std::size_t percent = s.find('%');
    if (percent != std::string_view::npos) {
        const std::string_view zone = s.substr(percent + 1);
        if (!is_name(zone) || zone.size() > kMaxZoneBytes) return false;
        s = s.substr(0, percent);
    }
    return parse_ipv6(s).has_value();
}

}  // namespace

std::optional<std::uint16_t> parse_port(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (!is_digit(c)) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::variant<HostPort, AddressError> parse_address(std::string_view text,
                                                   std::uint16_t default_port) {
    text = trimmed(text);
    if (text.empty()) return AddressError::empty;
    HostPort result;
    result.port = default_port;
    std::string_view host = text;
    std::optional<std::string_view> port;
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return AddressError::malformed;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return AddressError::malformed;
            port = rest.substr(1);
        }
        if (!is_ipv6_with_zone(host)) return AddressError::malformed;
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        if (text.find(':', colon + 1) != std::string_view::npos) {
            // Two colons or more: an IPv6 address, which takes no port
            // without brackets.
            if (!is_ipv6_with_zone(text)) return AddressError::malformed;
        } else {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            if (!is_name(host)) return AddressError::malformed;
        }
    } else if (!is_name(host)) {
        return AddressError::malformed;
    }
    if (host.find(':') == std::string_view::npos && only_digits_and_dots(host) &&
        !parse_ipv4(host)) {
        return AddressError::malformed;
    }
    if (port) {
        const std::optional<std::uint16_t> number = parse_port(*port);
        if (!number) return AddressError::bad_port;
        result.port = *number;
    }
    result.host = std::string(host);
    return result;
}

std::optional<std::array<std::uint8_t, 16>> parse_ipv6(std::string_view s) {
    // The groups before "::" and after it; without "::" all go before.
    std::vector<std::uint16_t> head;
    std::vector<std::uint16_t> tail;
    bool shortened = false;
    std::vector<std::uint16_t>* groups = &head;
    if (s.size() >= 2 && s[0] == ':' && s[1] == ':') {
        shortened = true;
        groups = &tail;
        s.remove_prefix(2);
    } else if (!s.empty() && s[0] == ':') {
        return std::nullopt;
    }
    while (!s.empty()) {
        if (head.size() + tail.size() >= 8) return std::nullopt;
        // An IPv4 address ends the text and fills the last two groups.
        const std::size_t end = s.find(':');
        const std::string_view group = s.substr(0, end);
        if (group.find('.') != std::string_view::npos) {
            if (end != std::string_view::npos) return std::nullopt;
            const auto v4 = parse_ipv4(group);
            if (!v4 || head.size() + tail.size() > 6) return std::nullopt;
            groups->push_back(static_cast<std::uint16_t>((*v4)[0] << 8 | (*v4)[1]));
            groups->push_back(static_cast<std::uint16_t>((*v4)[2] << 8 | (*v4)[3]));
            break;
        }
        if (group.empty() || group.size() > 4) return std::nullopt;
        unsigned value = 0;
        for (char c : group) {
            const int digit = hex_value(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        groups->push_back(static_cast<std::uint16_t>(value));
        if (end == std::string_view::npos) break;
        s.remove_prefix(end + 1);
        if (!s.empty() && s.front() == ':') {
            if (shortened) return std::nullopt;
            shortened = true;
            groups = &tail;
            s.remove_prefix(1);
        } else if (s.empty()) {
            return std::nullopt;  // a lone ':' at the end
        }
    }
    const std::size_t count = head.size() + tail.size();
    if (shortened ? count > 7 : count != 8) return std::nullopt;
    std::array<std::uint8_t, 16> out{};
    const auto put = [&out](std::size_t at, std::uint16_t g) {
        out[2 * at] = static_cast<std::uint8_t>(g >> 8);
        out[2 * at + 1] = static_cast<std::uint8_t>(g & 0xff);
    };
    for (std::size_t i = 0; i < head.size(); ++i) put(i, head[i]);
    for (std::size_t i = 0; i < tail.size(); ++i) put(8 - tail.size() + i, tail[i]);
    return out;
}

std::string ip_text(const IpAddress& ip) {
    const auto& b = ip.bytes;
    if (ip.family == Family::v4) {
        return std::to_string(b[0]) + '.' + std::to_string(b[1]) + '.' + std::to_string(b[2]) +
               '.' + std::to_string(b[3]);
    }
    std::array<unsigned, 8> g{};
    for (std::size_t i = 0; i < 8; ++i) g[i] = static_cast<unsigned>(b[2 * i] << 8 | b[2 * i + 1]);
    // The longest run of two or more zero groups, the first of equals.
    std::size_t best = 8;
    std::size_t best_len = 1;
    for (std::size_t i = 0; i < 8;) {
        std::size_t j = i;
        while (j < 8 && g[j] == 0) ++j;
        if (j - i > best_len) {
            best = i;
            best_len = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == best) {
            out += "::";
            i += best_len - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out += ':';
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned digit = (g[i] >> shift) & 0xf;
            if (digit == 0 && !started && shift > 0) continue;
            started = true;
            out += kHex[digit];
        }
    }
    return out;
}

std::string endpoint_text(const Endpoint& endpoint, std::uint16_t default_port) {
    const std::string ip = ip_text(endpoint.ip);
    if (endpoint.port == default_port) return ip;
    const std::string port = ":" + std::to_string(endpoint.port);
    return endpoint.ip.family == Family::v6 ? "[" + ip + "]" + port : ip + port;
}

bool reachable_by_friend(const IpAddress& ip) {
    const auto& b = ip.bytes;
    if (ip.family == Family::v4) {
        const bool unspecified = b[0] == 0;
        const bool loopback = b[0] == 127;
        const bool link_local = b[0] == 169 && b[1] == 254;
        const bool multicast = b[0] >= 224;
        return !unspecified && !loopback && !link_local && !multicast;
    }
    bool zero_first_ten = true;
    for (std::size_t i = 0; i < 10; ++i) zero_first_ten = zero_first_ten && b[i] == 0;
    // ::, ::1, ::ffff:a.b.c.d and the old ::a.b.c.d all start with ten zero
    // bytes; no global address does.
    const bool multicast = b[0] == 0xff;
    return !zero_first_ten && !is_link_local_v6(ip) && !multicast;
}

bool is_link_local_v6(const IpAddress& ip) {
    return ip.family == Family::v6 && ip.bytes[0] == 0xfe && (ip.bytes[1] & 0xc0) == 0x80;
}

}  // namespace net
