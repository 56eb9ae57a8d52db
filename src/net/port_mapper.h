// The host asking its home router to open the hosting port to the
// internet, so that a friend elsewhere can join: PCP first, then NAT-PMP
// (both port_mapping_wire.h, to the default gateway's UDP port 5351), then
// UPnP-IGD (upnp.h, on a thread of its own). Each try has a short limit,
// a few seconds in all. A mapping is asked for an hour and renewed at half
// its lease while the mapper lives; it is removed when the mapper goes, and
// before an ending signal ends the program. A mapping left by a crash ends
// with its lease.
//
// With PCP, where the host has a global IPv6 address and an IPv6 default
// router, it also asks that router to let the port through its firewall to
// that address (an IPv6 pinhole).
//
// Nothing is sent anywhere but to the default gateways and the SSDP group;
// no port but the hosting port is asked for. An answer counts only from the
// gateway's port 5351, for the request's nonce (PCP), opcode and port.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "console/loop.h"
#include "net/address.h"
#include "net/port_mapping_wire.h"
#include "net/socket.h"

namespace net {

enum class MappingState {
    asking,  // no answer yet
    open,    // the router holds the mapping
    failed,  // no router opened the port
    // This machine has no default route: no router to ask, and no
    // internet to open the port to. Nothing to tell.
    no_route,
};

enum class MappingMethod { pcp, natpmp, upnp };

enum class MappingFailure {
    no_answer,  // no router answered any of the three
    refused,    // a router answered, and would not open the port
};

// What the host's screen tells of the router.
struct PortMapping {
    MappingState state = MappingState::asking;
    MappingMethod method = MappingMethod::pcp;  // for MappingState::open
    std::uint16_t outside_port = 0;             // for MappingState::open
    // The router's outside address, when it told it (MappingState::open).
    std::optional<IpAddress> outside;
    MappingFailure failure = MappingFailure::no_answer;  // for MappingState::failed
    // An IPv6 address of this machine that the router lets the port
    // through to, when it said so.
    std::optional<IpAddress> pinhole;

    // Open, but the router's own outside address is private or shared (a
    // carrier's NAT, or another router, sits between it and the internet):
    // the port opened there reaches no one outside.
    bool behind_other_nat() const;

    bool operator==(const PortMapping&) const = default;
};

// A component of the program's loop, like the Announcer: its sockets to
// watch, its deadline, and what to do when one comes.
class PortMapper {
  public:
    PortMapper(std::uint16_t port, Clock::time_point now);
    // Removes the mappings made, waiting at most half a second for the
    // routers.
    ~PortMapper();
    PortMapper(const PortMapper&) = delete;
    PortMapper& operator=(const PortMapper&) = delete;

    std::vector<Watch> watches() const;
    std::optional<Clock::time_point> deadline() const;
    // Both return whether status() changed.
    bool on_ready(int sock, Clock::time_point now);
    bool on_deadline(Clock::time_point now);

    const PortMapping& status() const { return status_; }

  private:
    // One request and its answer over UDP with a router, sent again with
    // growing pauses until answered or given up (port_mapper.cpp).
    struct Exchange;
    struct Upnp;

    void start_pcp(Clock::time_point now);
    void start_natpmp(Clock::time_point now);
    void start_upnp();
    void start_pinhole(Clock::time_point now);
    void port_closed(Exchange& ex, Clock::time_point now);
    void next_method(Clock::time_point now, bool refused);
    bool take_answer(Exchange& ex, const pmp::Answer& a, Clock::time_point now);
    bool take_upnp();
    void opened(MappingMethod method, std::uint16_t outside_port, std::optional<IpAddress> outside,
                std::uint32_t lease, Clock::time_point now);
    void give_back();

    std::uint16_t port_;
    PortMapping status_;
    std::unique_ptr<Exchange> v4_;  // PCP or NAT-PMP with the IPv4 gateway
    std::unique_ptr<Exchange> v6_;  // PCP with the IPv6 router: the pinhole
    std::shared_ptr<Upnp> upnp_;
    bool refused_ = false;  // a router refused an earlier method
    bool given_back_ = false;
    console::BeforeEnd before_end_;
};

}  // namespace net
