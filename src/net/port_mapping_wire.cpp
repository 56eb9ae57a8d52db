#include "net/port_mapping_wire.h"

#include <algorithm>

namespace net::pmp {

namespace {

constexpr std::uint8_t kPcpVersion = 2;
constexpr std::uint8_t kPmpVersion = 0;
constexpr std::uint8_t kOpMap = 1;
constexpr std::uint8_t kAnswerBit = 0x80;
constexpr std::uint8_t kPmpOpAddress = 0;
constexpr std::uint8_t kPmpOpMapTcp = 2;
constexpr std::size_t kPcpHeaderSize = 24;
constexpr std::size_t kPmpHeaderSize = 8;
constexpr std::size_t kPmpAddressSize = 12;
constexpr std::size_t kPmpMapSize = 16;

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, static_cast<std::uint16_t>(v >> 16));
    put16(out, static_cast<std::uint16_t>(v));
}

// An address in PCP's 16 bytes: IPv4 as ::ffff:a.b.c.d.
void put_address(std::vector<std::uint8_t>& out, const IpAddress& ip) {
    if (ip.family == Family::v6) {
        out.insert(out.end(), ip.bytes.begin(), ip.bytes.end());
        return;
    }
    out.insert(out.end(), 10, 0);
    out.insert(out.end(), 2, 0xff);
    out.insert(out.end(), ip.bytes.begin(), ip.bytes.begin() + 4);
}

std::uint16_t get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t get32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(get16(p)) << 16) | get16(p + 2);
}

IpAddress get_address(const std::uint8_t* p) {
    static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    IpAddress ip;
    if (std::equal(p, p + 12, kMapped)) {
        ip.family = Family::v4;
        std::copy(p + 12, p + 16, ip.bytes.begin());
    } else {
        ip.family = Family::v6;
        std::copy(p, p + 16, ip.bytes.begin());
    }
    return ip;
}

std::optional<Answer> decode_pcp(const std::uint8_t* data, std::size_t size) {
    if (size < kPcpHeaderSize || size > kPcpMaxSize || size % 4 != 0) return std::nullopt;
    if ((data[1] & kAnswerBit) == 0) return std::nullopt;  // a request
    Answer a;
    a.result = data[3];
    // A router of another PCP version says only that, in a bare header.
    if (data[0] != kPcpVersion || (a.result == kUnsupportedVersion && size < kPcpMapSize)) {
        if (a.result != kUnsupportedVersion) return std::nullopt;
        a.kind = AnswerKind::unsupported_version;
        return a;
    }
    if ((data[1] & ~kAnswerBit) != kOpMap || size < kPcpMapSize) return std::nullopt;
    a.kind = AnswerKind::pcp_map;
    a.lifetime = get32(data + 4);
    a.epoch = get32(data + 8);
    const std::uint8_t* body = data + kPcpHeaderSize;
    std::copy(body, body + 12, a.nonce.begin());
    a.protocol = body[12];
    a.internal_port = get16(body + 16);
    a.external_port = get16(body + 18);
    a.external = get_address(body + 20);
    if (a.result == kSuccess && a.lifetime != 0 && a.external_port == 0) return std::nullopt;
    return a;
}

std::optional<Answer> decode_pmp(const std::uint8_t* data, std::size_t size) {
    // No NAT-PMP answer is longer than a mapping's.
    if (size < kPmpHeaderSize || size > kPmpMapSize || (data[1] & kAnswerBit) == 0)
        return std::nullopt;
    Answer a;
    a.result = get16(data + 2);
    a.epoch = get32(data + 4);
    const std::uint8_t op = data[1] & ~kAnswerBit;
    if (a.result == kUnsupportedVersion) {
        a.kind = AnswerKind::unsupported_version;
        return a;
    }
    // A failure's other fields mean nothing; a success has them all.
    const bool failed = a.result != kSuccess;
    if (op == kPmpOpAddress) {
        if (size != kPmpAddressSize && !(failed && size == kPmpHeaderSize)) return std::nullopt;
        a.kind = AnswerKind::pmp_address;
        if (!failed) std::copy(data + 8, data + 12, a.external.bytes.begin());
        return a;
    }
    if (op != kPmpOpMapTcp) return std::nullopt;
    if (size != kPmpMapSize && !(failed && size == kPmpHeaderSize)) return std::nullopt;
    a.kind = AnswerKind::pmp_map;
    a.protocol = kProtocolTcp;
    if (failed) return a;
    a.internal_port = get16(data + 8);
    a.external_port = get16(data + 10);
    a.lifetime = get32(data + 12);
    if (a.lifetime != 0 && a.external_port == 0) return std::nullopt;
    return a;
}

}  // namespace

std::vector<std::uint8_t> encode_pcp_map(const PcpMapRequest& request) {
    std::vector<std::uint8_t> out;
    out.reserve(kPcpMapSize);
    out.push_back(kPcpVersion);
    out.push_back(kOpMap);
    put16(out, 0);
    put32(out, request.lifetime);
    put_address(out, request.client);
    out.insert(out.end(), request.nonce.begin(), request.nonce.end());
    out.push_back(kProtocolTcp);
    out.insert(out.end(), 3, 0);
    put16(out, request.internal_port);
    put16(out, request.external_port);
    put_address(out, request.external);
    return out;
}

std::vector<std::uint8_t> encode_pmp_address_request() { return {kPmpVersion, kPmpOpAddress}; }

std::vector<std::uint8_t> encode_pmp_map(std::uint16_t internal_port, std::uint16_t external_port,
                                         std::uint32_t lifetime) {
    std::vector<std::uint8_t> out{kPmpVersion, kPmpOpMapTcp, 0, 0};
    put16(out, internal_port);
    put16(out, external_port);
    put32(out, lifetime);
    return out;
}

std::optional<Answer> decode_answer(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return std::nullopt;
    if (data[0] == kPmpVersion) return decode_pmp(data, size);
    return decode_pcp(data, size);
}

bool is_private_or_shared(const IpAddress& ip) {
    if (ip.family != Family::v4) return false;
    const std::uint8_t a = ip.bytes[0];
    const std::uint8_t b = ip.bytes[1];
    return a == 10 || (a == 172 && (b & 0xf0) == 16) || (a == 192 && b == 168) ||
           (a == 100 && (b & 0xc0) == 64);
}

}  // namespace net::pmp
