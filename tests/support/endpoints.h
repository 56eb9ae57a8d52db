// Endpoints written as text in the tests: "10.0.0.2" or "2001:db8::1".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "net/address.h"

namespace taja::test {

inline net::Endpoint endpoint(const char* ip, std::uint16_t port) {
    net::Endpoint e;
    e.port = port;
    if (auto v6 = net::parse_ipv6(ip)) {
        e.ip.family = net::Family::v6;
        e.ip.bytes = *v6;
        return e;
    }
    unsigned a, b, c, d;
    EXPECT_EQ(std::sscanf(ip, "%u.%u.%u.%u", &a, &b, &c, &d), 4);
    e.ip.bytes = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                  static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d)};
    return e;
}

}  // namespace taja::test
