// The PCP and NAT-PMP packets a host sends its router, and how it reads
// the router's answers: well-formed ones, and malformed or hostile ones,
// which it drops whole.
#include "net/port_mapping_wire.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using net::pmp::AnswerKind;
using Bytes = std::vector<std::uint8_t>;

net::IpAddress v4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    net::IpAddress ip;
    ip.bytes[0] = a;
    ip.bytes[1] = b;
    ip.bytes[2] = c;
    ip.bytes[3] = d;
    return ip;
}

const net::pmp::Nonce kNonce = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

// A PCP MAP answer as a router sends it: 20.0.0.1:9090 for an hour.
Bytes pcp_answer(std::uint8_t result = 0) {
    Bytes b = {2, 0x81, 0, result, 0, 0, 0x0e, 0x10, 0, 0, 0, 42};
    b.resize(24);
    b.insert(b.end(), kNonce.begin(), kNonce.end());
    b.insert(b.end(), {6, 0, 0, 0, 0x1f, 0x90, 0x23, 0x82});
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 20, 0, 0, 1});
    return b;
}

std::optional<net::pmp::Answer> decode(const Bytes& b) {
    return net::pmp::decode_answer(b.data(), b.size());
}

TEST(PortMappingWire, RequestsAreLaidOutAsTheRoutersReadThem) {
    net::pmp::PcpMapRequest r;
    r.client = v4(192, 168, 77, 2);
    r.nonce = kNonce;
    r.internal_port = 8080;
    r.external_port = 8080;
    r.lifetime = 3600;
    const Bytes pcp = net::pmp::encode_pcp_map(r);
    ASSERT_EQ(pcp.size(), 60u);
    EXPECT_EQ(Bytes(pcp.begin(), pcp.begin() + 8), (Bytes{2, 1, 0, 0, 0, 0, 0x0e, 0x10}));
    // The client as ::ffff:192.168.77.2, any outside IPv4 address as ::ffff:0.0.0.0.
    EXPECT_EQ(Bytes(pcp.begin() + 18, pcp.begin() + 24), (Bytes{0xff, 0xff, 192, 168, 77, 2}));
    EXPECT_EQ(Bytes(pcp.begin() + 24, pcp.begin() + 36), Bytes(kNonce.begin(), kNonce.end()));
    EXPECT_EQ(pcp[36], 6);
    EXPECT_EQ(Bytes(pcp.begin() + 40, pcp.begin() + 44), (Bytes{0x1f, 0x90, 0x1f, 0x90}));
    EXPECT_EQ(Bytes(pcp.begin() + 54, pcp.end()), (Bytes{0xff, 0xff, 0, 0, 0, 0}));

    EXPECT_EQ(net::pmp::encode_pmp_address_request(), (Bytes{0, 0}));
    EXPECT_EQ(net::pmp::encode_pmp_map(8080, 8080, 3600),
              (Bytes{0, 2, 0, 0, 0x1f, 0x90, 0x1f, 0x90, 0, 0, 0x0e, 0x10}));
    EXPECT_EQ(net::pmp::encode_pmp_map(8080, 0, 0),
              (Bytes{0, 2, 0, 0, 0x1f, 0x90, 0, 0, 0, 0, 0, 0}));
}

TEST(PortMappingWire, WellFormedAnswersAreRead) {
    const auto pcp = decode(pcp_answer());
    ASSERT_TRUE(pcp);
    EXPECT_EQ(pcp->kind, AnswerKind::pcp_map);
    EXPECT_EQ(pcp->result, 0);
    EXPECT_EQ(pcp->lifetime, 3600u);
    EXPECT_EQ(pcp->nonce, kNonce);
    EXPECT_EQ(pcp->protocol, 6);
    EXPECT_EQ(pcp->internal_port, 8080);
    EXPECT_EQ(pcp->external_port, 9090);
    EXPECT_EQ(pcp->external, v4(20, 0, 0, 1));

    Bytes with_option = pcp_answer();
    with_option.insert(with_option.end(), {0x80, 0, 0, 0});
    EXPECT_TRUE(decode(with_option));

    const auto refused = decode(pcp_answer(2));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->result, 2);

    const auto address = decode({0, 0x80, 0, 0, 0, 0, 0, 9, 20, 0, 0, 1});
    ASSERT_TRUE(address);
    EXPECT_EQ(address->kind, AnswerKind::pmp_address);
    EXPECT_EQ(address->external, v4(20, 0, 0, 1));

    const auto map = decode({0, 0x82, 0, 0, 0, 0, 0, 9, 0x1f, 0x90, 0x23, 0x82, 0, 0, 0x0e, 0x10});
    ASSERT_TRUE(map);
    EXPECT_EQ(map->kind, AnswerKind::pmp_map);
    EXPECT_EQ(map->internal_port, 8080);
    EXPECT_EQ(map->external_port, 9090);
    EXPECT_EQ(map->lifetime, 3600u);

    // A router of NAT-PMP only, asked in PCP.
    const auto old = decode({0, 0x81, 0, 1, 0, 0, 0, 9});
    ASSERT_TRUE(old);
    EXPECT_EQ(old->kind, AnswerKind::unsupported_version);
}

TEST(PortMappingWire, MalformedAndHostileAnswersAreDropped) {
    const Bytes good = pcp_answer();
    for (std::size_t n = 0; n < good.size(); ++n) {
        EXPECT_FALSE(decode(Bytes(good.begin(), good.begin() + static_cast<long>(n))))
            << "cut to " << n;
    }
    Bytes request = good;
    request[1] = 0x01;  // no answer bit: our own request reflected
    EXPECT_FALSE(decode(request));
    Bytes peer = good;
    peer[1] = 0x82;  // PEER, never asked
    EXPECT_FALSE(decode(peer));
    Bytes odd = good;
    odd.push_back(0);  // not a multiple of 4
    EXPECT_FALSE(decode(odd));
    Bytes huge = good;
    huge.resize(1104);
    EXPECT_FALSE(decode(huge));
    Bytes no_port = good;
    no_port[42] = no_port[43] = 0;  // a lifetime granted, no port
    EXPECT_FALSE(decode(no_port));
    Bytes long_refusal = {0, 0x81, 0, 1, 0, 0, 0, 9};
    long_refusal.resize(200);  // longer than any NAT-PMP answer
    EXPECT_FALSE(decode(long_refusal));
    Bytes other_version = good;
    other_version[0] = 3;  // an unknown version that claims success
    EXPECT_FALSE(decode(other_version));

    EXPECT_FALSE(decode({0, 0x80, 0, 0, 0, 0, 0, 9, 20, 0, 0}));        // address cut short
    EXPECT_FALSE(decode({0, 0x80, 0, 0, 0, 0, 0, 9, 20, 0, 0, 1, 0}));  // too long
    EXPECT_FALSE(
        decode({0, 0x81, 0, 0, 0, 0, 0, 9, 0x1f, 0x90, 0x23, 0x82, 0, 0, 0x0e, 0x10}));  // UDP
    EXPECT_FALSE(
        decode({0, 0x02, 0, 0, 0, 0, 0, 9, 0x1f, 0x90, 0x23, 0x82, 0, 0, 0x0e, 0x10}));  // request
    EXPECT_FALSE(
        decode({0, 0x82, 0, 0, 0, 0, 0, 9, 0x1f, 0x90, 0, 0, 0, 0, 0x0e, 0x10}));  // no port
}

TEST(PortMappingWire, PrivateAndSharedOutsideAddressesAreToldApart) {
    for (const auto& ip : {v4(10, 1, 2, 3), v4(172, 16, 0, 1), v4(172, 31, 255, 255),
                           v4(192, 168, 0, 1), v4(100, 64, 0, 1), v4(100, 127, 255, 255)}) {
        EXPECT_TRUE(net::pmp::is_private_or_shared(ip)) << net::ip_text(ip);
    }
    for (const auto& ip : {v4(20, 0, 0, 1), v4(172, 32, 0, 1), v4(172, 15, 0, 1),
                           v4(100, 128, 0, 1), v4(100, 63, 255, 255), v4(192, 169, 0, 1)}) {
        EXPECT_FALSE(net::pmp::is_private_or_shared(ip)) << net::ip_text(ip);
    }
}

}  // namespace
