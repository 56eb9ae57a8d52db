// The two small protocols a host speaks to its router to have its port
// opened, both on the default gateway's UDP port 5351. Pure: bytes in,
// bytes out.
//
// PCP (RFC 6887), a MAP request, 60 bytes, all numbers big-endian:
//
//   offset  size  what
//        0     1  version, 2
//        1     1  R bit (0: request) and opcode (1: MAP)
//        2     2  reserved, 0
//        4     4  requested lifetime in seconds (0: delete the mapping)
//        8    16  the client's own IP address (IPv4 as ::ffff:a.b.c.d), as
//                 the router sees it as the packet's source
//       24    12  mapping nonce, random: the answer must carry it back
//       36     1  protocol, 6 for TCP
//       37     3  reserved, 0
//       40     2  internal port
//       42     2  suggested external port
//       44    16  suggested external address (::ffff:0.0.0.0 for any IPv4
//                 one, :: for an IPv6 pinhole)
//
// Its answer: version 2, R bit set and the opcode, a reserved byte, the
// result code (0 success), the lifetime granted, the router's epoch, 12
// reserved bytes, then the same 36 bytes with the external port and
// address assigned. At most 1100 bytes, a multiple of 4; options after
// byte 60 are skipped.
//
// NAT-PMP (RFC 6886), the older protocol, version 0:
//   address request   2 bytes: 0, opcode 0
//   its answer       12 bytes: 0, 128, result (2), epoch (4), IPv4 (4)
//   TCP map request  12 bytes: 0, opcode 2, reserved (2), internal port
//                    (2), suggested external port (2), lifetime (4)
//   its answer       16 bytes: 0, 130, result (2), epoch (4), internal
//                    port (2), external port (2), lifetime (4)
// A router that speaks NAT-PMP only answers a PCP request with version 0
// and result 1 (unsupported version): the sign to fall back to NAT-PMP.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "net/address.h"

namespace net::pmp {

inline constexpr std::uint16_t kServerPort = 5351;
inline constexpr std::size_t kPcpMapSize = 60;
inline constexpr std::size_t kPcpMaxSize = 1100;
inline constexpr std::uint8_t kProtocolTcp = 6;

using Nonce = std::array<std::uint8_t, 12>;

// PCP result codes this program tells apart.
inline constexpr std::uint16_t kSuccess = 0;
inline constexpr std::uint16_t kUnsupportedVersion = 1;

struct PcpMapRequest {
    IpAddress client;  // the address the request is sent from
    Nonce nonce{};
    std::uint16_t internal_port = 0;
    std::uint16_t external_port = 0;  // suggested
    IpAddress external;               // suggested; IPv4 any or IPv6 any
    std::uint32_t lifetime = 0;
};

std::vector<std::uint8_t> encode_pcp_map(const PcpMapRequest& request);
std::vector<std::uint8_t> encode_pmp_address_request();
// A TCP mapping of `internal_port`; lifetime 0 (and external port 0)
// deletes it.
std::vector<std::uint8_t> encode_pmp_map(std::uint16_t internal_port, std::uint16_t external_port,
                                         std::uint32_t lifetime);

enum class AnswerKind {
    pcp_map,              // a PCP MAP answer
    pmp_address,          // a NAT-PMP external address answer
    pmp_map,              // a NAT-PMP TCP mapping answer
    unsupported_version,  // the router does not speak the version asked
};

// An answer from the router. Which fields hold depends on the kind: a PCP
// MAP answer has all but `external` for failures; a NAT-PMP address answer
// its result and `external`; a NAT-PMP map answer its result, ports and
// lifetime.
struct Answer {
    AnswerKind kind = AnswerKind::pcp_map;
    std::uint16_t result = 0;
    std::uint32_t lifetime = 0;
    std::uint32_t epoch = 0;
    Nonce nonce{};
    std::uint8_t protocol = 0;
    std::uint16_t internal_port = 0;
    std::uint16_t external_port = 0;
    IpAddress external;
};

// Nothing for anything that is not a well-formed answer of these kinds: a
// request, a wrong length or version, an opcode not asked for, a success
// without a port or lifetime.
std::optional<Answer> decode_answer(const std::uint8_t* data, std::size_t size);

// Whether `ip` is an IPv4 address no one on the internet can reach: a
// private one (RFC 1918: 10/8, 172.16/12, 192.168/16) or one a carrier
// shares among its customers (RFC 6598: 100.64/10). A router whose outside
// address is one of these sits behind another NAT, and a port it opens
// does not reach the internet.
bool is_private_or_shared(const IpAddress& ip);

}  // namespace net::pmp
