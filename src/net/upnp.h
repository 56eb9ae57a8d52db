// UPnP-IGD: the router found by SSDP on the local network and asked over
// HTTP/SOAP for a TCP port mapping. On Linux through libminiupnpc
// (upnp_posix.cpp), on Windows through the system's own UPnP NAT objects
// (upnp_win32.cpp). Every call blocks, for a few seconds at most: the port
// mapper makes them on a thread of its own, one at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "net/address.h"

namespace net::upnp {

enum class Result {
    mapped,     // the router holds the mapping
    no_router,  // no router answered as an Internet Gateway Device
    refused,    // the router answered, and would not map the port
};

// What the router said of a mapping it made.
struct Mapping {
    std::uint16_t outside_port = 0;
    std::optional<IpAddress> outside;  // the router's outside address, when it told it
    std::uint32_t lease = 0;           // seconds; 0 for a mapping with no end
};

class Igd {
  public:
    Igd();
    ~Igd();
    Igd(const Igd&) = delete;
    Igd& operator=(const Igd&) = delete;

    // Maps TCP `port` of this machine, the outside port the same where the
    // router allows, for about an hour; the first call finds the router.
    // Called again, renews the mapping.
    Result add(std::uint16_t port, Mapping& mapping);
    // Removes the mapping add() made; nothing when it made none.
    void remove();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace net::upnp
