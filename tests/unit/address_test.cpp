// Typed addresses, the texts of addresses, the order connects are tried in,
// and the discovery datagrams and host list: the pure parts of finding each
// other.
#include "net/address.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "net/connector.h"
#include "net/discovery.h"
#include "support/endpoints.h"

namespace {

using net::AddressError;
using net::HostPort;

struct Case {
    const char* text;
    std::variant<HostPort, AddressError> want;
};

TEST(Address, TypedAddressesAreCutIntoHostAndPort) {
    const Case cases[] = {
        {"192.168.0.10", HostPort{"192.168.0.10", 8080}},
        {" 192.168.0.10:9090 ", HostPort{"192.168.0.10", 9090}},
        {"localhost", HostPort{"localhost", 8080}},
        {"friend.example:1", HostPort{"friend.example", 1}},
        {"my_box-2.local.:65535", HostPort{"my_box-2.local.", 65535}},
        {"2001:db8::1", HostPort{"2001:db8::1", 8080}},
        {"::1", HostPort{"::1", 8080}},
        {"[::1]:9090", HostPort{"::1", 9090}},
        {"[2001:db8::1]", HostPort{"2001:db8::1", 8080}},
        {"[fe80::1%eth0]:9090", HostPort{"fe80::1%eth0", 9090}},
        {"::ffff:10.0.0.1", HostPort{"::ffff:10.0.0.1", 8080}},
        {"", AddressError::empty},
        {"   ", AddressError::empty},
        {"host:0", AddressError::bad_port},
        {"host:65536", AddressError::bad_port},
        {"host:", AddressError::bad_port},
        {"host:80a", AddressError::bad_port},
        {"[::1]:", AddressError::bad_port},
        {"1.2.3.4:-1", AddressError::bad_port},
        {"1.2.3", AddressError::malformed},
        {"1.2.3.256", AddressError::malformed},
        {"01.2.3.4", AddressError::malformed},
        {"127.1", AddressError::malformed},
        {"two words", AddressError::malformed},
        {"host:80:90", AddressError::malformed},
        {"2001:db8::1:9090x", AddressError::malformed},
        {"[2001:db8::1", AddressError::malformed},
        {"[::1]9090", AddressError::malformed},
        {"[name]:80", AddressError::malformed},
        {"1::2::3", AddressError::malformed},
        {":80", AddressError::malformed},
        {"\xC7\xD1\xB1\xDB", AddressError::malformed},
        {"[fe80::1%]:80", AddressError::malformed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net::parse_address(c.text), c.want) << '"' << c.text << '"';
    }
    EXPECT_EQ(net::parse_address(std::string(253, 'a')),
              (std::variant<HostPort, AddressError>(HostPort{std::string(253, 'a'), 8080})));
    EXPECT_EQ(net::parse_address(std::string(254, 'a')),
              (std::variant<HostPort, AddressError>(AddressError::malformed)));
    EXPECT_EQ(net::parse_address("box", 9090),
              (std::variant<HostPort, AddressError>(HostPort{"box", 9090})));
}

using taja::test::endpoint;

TEST(Address, EndpointsAreWrittenAsAPlayerTypesThem) {
    EXPECT_EQ(net::endpoint_text(endpoint("10.0.0.2", 8080)), "10.0.0.2");
    EXPECT_EQ(net::endpoint_text(endpoint("10.0.0.2", 9090)), "10.0.0.2:9090");
    EXPECT_EQ(net::endpoint_text(endpoint("2001:DB8:0:0:0:0:0:1", 8080)), "2001:db8::1");
    EXPECT_EQ(net::endpoint_text(endpoint("2001:db8::1", 9090)), "[2001:db8::1]:9090");
    // RFC 5952: the longest zero run, the first of two equal ones, never a
    // lone zero group.
    EXPECT_EQ(net::endpoint_text(endpoint("2001:0:0:1:0:0:0:1", 8080)), "2001:0:0:1::1");
    EXPECT_EQ(net::endpoint_text(endpoint("2001:db8:0:1:1:1:1:1", 8080)), "2001:db8:0:1:1:1:1:1");
    EXPECT_EQ(net::endpoint_text(endpoint("1:0:0:2:0:0:3:4", 8080)), "1::2:0:0:3:4");
    EXPECT_EQ(net::endpoint_text(endpoint("::", 8080)), "::");
    EXPECT_EQ(net::endpoint_text(endpoint("fd00::", 8080)), "fd00::");
}

TEST(Address, OnlyAddressesAFriendCanReachAreOffered) {
    for (const char* yes :
         {"192.168.0.10", "10.0.0.1", "100.101.102.103", "2001:db8::5", "fd7a:115c:a1e0::1"}) {
        EXPECT_TRUE(net::reachable_by_friend(endpoint(yes, 1).ip)) << yes;
    }
    for (const char* no : {"127.0.0.1", "169.254.3.4", "0.0.0.0", "224.0.0.1", "::1",
                           "::", "fe80::1", "ff02::1", "::ffff:10.0.0.1"}) {
        EXPECT_FALSE(net::reachable_by_friend(endpoint(no, 1).ip)) << no;
    }
}

TEST(Address, ConnectsTakeTurnsBetweenFamiliesIpv6First) {
    const auto order = net::happy_eyeballs_order({endpoint("10.0.0.1", 1), endpoint("10.0.0.2", 1),
                                                  endpoint("10.0.0.3", 1), endpoint("fd00::1", 1),
                                                  endpoint("fd00::2", 1)});
    std::vector<std::string> texts;
    for (const auto& e : order) texts.push_back(net::ip_text(e.ip));
    EXPECT_EQ(texts,
              (std::vector<std::string>{"fd00::1", "10.0.0.1", "fd00::2", "10.0.0.2", "10.0.0.3"}));
}

std::optional<net::Datagram> decode(const std::vector<std::uint8_t>& bytes) {
    return net::decode_datagram(bytes.data(), bytes.size());
}

TEST(Discovery, AnnouncementsCrossTheWireAndMalformedOnesAreDropped) {
    net::Announcement a;
    a.port = 9090;
    a.label = "\xEC\x95\x88\xEB\x85\x95-pc\x01";  // "안녕-pc" and a control byte
    a.run = 0x0102030405060708;
    const auto bytes = net::encode_announcement(a);
    const auto d = decode(bytes);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->kind, net::DatagramKind::announcement);
    EXPECT_EQ(d->announcement.port, 9090);
    EXPECT_EQ(d->announcement.label, "\xEC\x95\x88\xEB\x85\x95-pc");
    EXPECT_EQ(d->announcement.run, 0x0102030405060708u);
    EXPECT_EQ(decode(net::encode_query())->kind, net::DatagramKind::query);

    // A long name is cut at a character's start.
    std::string long_name;
    for (int i = 0; i < 30; ++i) long_name += "\xED\x95\x9C";  // 한
    a.label = long_name;
    EXPECT_EQ(decode(net::encode_announcement(a))->announcement.label, long_name.substr(0, 63));

    // A newer version with a field of its own is still read.
    std::vector<std::uint8_t> newer(bytes);
    newer[9] = 7;
    newer.insert(newer.end(), {42, 3, 'x', 'y', 'z', 200, 0});
    ASSERT_TRUE(decode(newer));
    EXPECT_EQ(decode(newer)->announcement.version, 7);
    EXPECT_EQ(decode(newer)->announcement.port, 9090);

    const auto broken = [&](auto change) {
        std::vector<std::uint8_t> b(bytes);
        change(b);
        return !decode(b);
    };
    EXPECT_TRUE(broken([](auto& b) { b[0] = 'T'; }));            // not ours
    EXPECT_TRUE(broken([](auto& b) { b[9] = 0; }));              // no version 0
    EXPECT_TRUE(broken([](auto& b) { b[10] = 'Z'; }));           // unknown kind
    EXPECT_TRUE(broken([](auto& b) { b.pop_back(); }));          // ends inside a field
    EXPECT_TRUE(broken([](auto& b) { b.push_back(9); }));        // half a field header
    EXPECT_TRUE(broken([](auto& b) { b[12] = 3; }));             // port of the wrong length
    EXPECT_TRUE(broken([](auto& b) { b[13] = 0, b[14] = 0; }));  // port 0
    EXPECT_TRUE(broken([](auto& b) { b.insert(b.end(), {1, 2, 0, 80}); }));  // port twice
    EXPECT_TRUE(broken([](auto& b) { b.resize(11); }));                      // no port
    EXPECT_TRUE(broken([](auto& b) { b[17] = 0x07; }));  // control byte in the label
    EXPECT_TRUE(broken([](auto& b) { b[17] = 0xC0; }));  // not UTF-8
    EXPECT_TRUE(broken([](auto& b) { b.resize(net::kMaxDatagram + 1, 0); }));  // too long
}

TEST(Discovery, TheHostListIsSmallAndForgetsSilentHosts) {
    net::HostList list;
    const auto t0 = net::Clock::now();
    net::Announcement a;
    a.port = 9090;
    a.label = "box";
    a.run = 1;
    EXPECT_TRUE(list.heard(endpoint("10.0.0.5", 48080), a, t0));
    // The same run over IPv6 is the same host, with a second address, IPv4
    // first.
    EXPECT_TRUE(list.heard(endpoint("fe80::5", 48080), a, t0));
    EXPECT_FALSE(list.heard(endpoint("10.0.0.5", 48080), a, t0));
    ASSERT_EQ(list.hosts().size(), 1u);
    EXPECT_EQ(list.hosts()[0].endpoints,
              (std::vector<net::Endpoint>{endpoint("10.0.0.5", 9090), endpoint("fe80::5", 9090)}));

    // A flood of hosts fills the list and no more.
    for (std::uint64_t run = 2; run < 100; ++run) {
        a.run = run;
        list.heard(endpoint("10.0.0.6", 48080), a, t0 + std::chrono::seconds(2));
    }
    EXPECT_EQ(list.hosts().size(), net::kMaxFoundHosts);
    EXPECT_EQ(list.next_expiry(), t0 + net::kForgetAfter);
    EXPECT_FALSE(list.forget_old(t0 + std::chrono::milliseconds(4999)));
    EXPECT_TRUE(list.forget_old(t0 + net::kForgetAfter));
    EXPECT_EQ(list.hosts().size(), net::kMaxFoundHosts - 1);
    EXPECT_EQ(list.hosts()[0].run, 2u);
    EXPECT_TRUE(list.forget_old(t0 + std::chrono::seconds(7)));
    EXPECT_TRUE(list.hosts().empty());
}

}  // namespace
