// A small internet in network namespaces for the port-mapping tests: a home
// router that masquerades its LAN, drops what comes unasked from outside,
// and runs Debian's miniupnpd (UPnP-IGD, NAT-PMP and PCP); a host behind it;
// the outside. The outside link has an address miniupnpd takes for a public
// one, so that it maps without a STUN server; nothing leaves the namespaces.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/pty_process.h"

namespace taja::test {

struct RouterSetup {
    bool natpmp = true;  // NAT-PMP and PCP
    bool upnp = true;
    bool drop_pcp = false;  // PCP requests dropped: NAT-PMP alone answers
    // Global IPv6 on both links, routed (2001:db8:77::/64 inside, the host
    // at ::2), with the router's IPv6 firewall dropping what comes unasked
    // from outside except through the pinholes miniupnpd opens.
    bool ipv6 = false;
    // The router's outside address and the outside namespace's: a shared
    // (carrier-grade) one makes miniupnpd refuse every mapping.
    std::string wan = "20.0.0.1";
    std::string outside = "20.0.0.2";
};

// The three namespaces and the router's daemon, taken down on every path.
class HomeNetwork {
  public:
    explicit HomeNetwork(const RouterSetup& setup);
    ~HomeNetwork();
    HomeNetwork(const HomeNetwork&) = delete;
    HomeNetwork& operator=(const HomeNetwork&) = delete;

    bool ok() const { return ok_; }

    // `program` (the game, by default) with `args` in a pseudo-terminal, in
    // the host's or the outside namespace (ip netns exec runs it in its own
    // process), with `env` added to its environment.
    std::unique_ptr<PtyProcess> start(bool in_home, std::vector<std::string> args,
                                      const std::string& program = TAJA_DUEL_BIN,
                                      std::map<std::string, std::string> env = {}) const;

    // The router's port forwardings (its NAT table's MINIUPNPD chain).
    std::string forwardings() const;
    // The router's IPv6 pinholes (its IPv6 filter's MINIUPNPD chain).
    std::string pinholes() const;

  private:
    bool wait_for_daemon(const RouterSetup& setup);

    std::string id_, host_, router_, outside_, dir_;
    pid_t daemon_ = -1;
    bool ok_ = false;
};

}  // namespace taja::test
