// UPnP-IGD through libminiupnpc, which sends the SSDP search, reads the
// router's description and makes the SOAP calls.
#include <arpa/inet.h>
#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <cstring>
#include <string>
#include <type_traits>

#include "net/ip_sockets.h"
#include "net/upnp.h"

namespace net::upnp {

namespace {

static_assert(MINIUPNPC_API_VERSION >= 17, "libminiupnpc 2.2 or later is needed");

// How long the SSDP search waits for routers to answer, for each kind of
// device it asks for: first, version 1 of the Internet Gateway Device,
// which version 2 devices answer too; then version 2.
constexpr int kDiscoverMs = 1000;
constexpr const char* kGatewayTypes[] = {"urn:schemas-upnp-org:device:InternetGatewayDevice:1",
                                         "urn:schemas-upnp-org:device:InternetGatewayDevice:2",
                                         nullptr};
// SSDP's usual hop limit: the router is one hop away.
constexpr unsigned char kSsdpTtl = 2;
constexpr char kLease[] = "3600";
constexpr std::uint32_t kLeaseSeconds = 3600;
constexpr char kDescription[] = "taja-duel";
constexpr char kTcp[] = "TCP";
// UPnP error codes that ask for another try.
constexpr int kOnlyPermanentLeases = 725;
constexpr int kConflictInMapping = 718;

// UPNP_GetValidIGD as either API has it: 17 (Debian 12) answers 1 for a
// connected router, 2 for one that says it is not connected (which a router
// behind another NAT may well say: worth a try) and 3 for a UPnP device that
// is no router; 18 adds the outside address and answers 2 for a private
// one, 3 for not connected and 4 for no router. Whether the router is of
// use, with its addresses filled in.
template <typename GetValidIgd>
bool usable_igd(GetValidIgd get, UPNPDev* devices, UPNPUrls* urls, IGDdatas* data, char* lan,
                int lan_size) {
    if constexpr (std::is_invocable_v<GetValidIgd, UPNPDev*, UPNPUrls*, IGDdatas*, char*, int,
                                      char*, int>) {
        char wan[64] = {};
        const int r = get(devices, urls, data, lan, lan_size, wan, sizeof wan);
        if (r > 3) FreeUPNPUrls(urls);
        return r >= 1 && r <= 3;
    } else {
        const int r = get(devices, urls, data, lan, lan_size);
        if (r > 2) FreeUPNPUrls(urls);
        return r >= 1 && r <= 2;
    }
}

// The host part of an "http://HOST:PORT/..." URL.
std::string url_host(const char* url) {
    std::string u = url != nullptr ? url : "";
    const std::string scheme = "http://";
    if (u.compare(0, scheme.size(), scheme) != 0) return {};
    u.erase(0, scheme.size());
    if (!u.empty() && u[0] == '[') return u.substr(1, u.find(']') - 1);
    return u.substr(0, u.find_first_of(":/"));
}

}  // namespace

struct Igd::State {
    bool found = false;
    UPNPUrls urls{};
    IGDdatas data{};
    char lan[64] = {};
    std::string mapped_port;  // the outside port mapped, empty when none

    ~State() {
        if (found) FreeUPNPUrls(&urls);
    }

    // Looks for the router on the local network: only one that is the
    // default gateway is asked anything.
    bool find() {
        int error = 0;
        UPNPDev* devices = upnpDiscoverDevices(kGatewayTypes, kDiscoverMs, nullptr, nullptr,
                                               UPNP_LOCAL_PORT_ANY, 0, kSsdpTtl, &error, 0);
        if (devices == nullptr) return false;
        found = usable_igd(UPNP_GetValidIGD, devices, &urls, &data, lan, sizeof lan);
        freeUPNPDevlist(devices);
        if (!found) return false;
        const std::optional<IpAddress> gateway = ip::default_gateway(Family::v4);
        if (!gateway || url_host(urls.controlURL) != ip_text(*gateway)) {
            FreeUPNPUrls(&urls);
            found = false;
        }
        return found;
    }
};

Igd::Igd() : state_(std::make_unique<State>()) {}
Igd::~Igd() = default;

Result Igd::add(std::uint16_t port, Mapping& mapping) {
    State& s = *state_;
    if (!s.found && !s.find()) return Result::no_router;
    const std::string inside = std::to_string(port);
    const char* control = s.urls.controlURL;
    const char* service = s.data.first.servicetype;
    std::string outside = s.mapped_port.empty() ? inside : s.mapped_port;
    mapping.lease = kLeaseSeconds;
    int r = UPNP_AddPortMapping(control, service, outside.c_str(), inside.c_str(), s.lan,
                                kDescription, kTcp, nullptr, kLease);
    if (r == kOnlyPermanentLeases) {
        // An old router: a mapping with no end, removed when hosting ends.
        mapping.lease = 0;
        r = UPNP_AddPortMapping(control, service, outside.c_str(), inside.c_str(), s.lan,
                                kDescription, kTcp, nullptr, "0");
    }
    if (r == kConflictInMapping && s.mapped_port.empty()) {
        // The port is taken outside: any other the router picks will do.
        char given[8] = {};
        r = UPNP_AddAnyPortMapping(control, service, inside.c_str(), inside.c_str(), s.lan,
                                   kDescription, kTcp, nullptr, kLease, given);
        outside = given;
    }
    if (r != UPNPCOMMAND_SUCCESS) return Result::refused;
    const std::optional<std::uint16_t> given_port = parse_port(outside);
    if (!given_port) return Result::refused;
    s.mapped_port = outside;
    mapping.outside_port = *given_port;
    char address[40] = {};
    mapping.outside.reset();
    in_addr v4{};
    if (UPNP_GetExternalIPAddress(control, service, address) == UPNPCOMMAND_SUCCESS &&
        ::inet_pton(AF_INET, address, &v4) == 1) {
        IpAddress ip;
        std::memcpy(ip.bytes.data(), &v4, 4);
        mapping.outside = ip;
    }
    return Result::mapped;
}

void Igd::remove() {
    State& s = *state_;
    if (!s.found || s.mapped_port.empty()) return;
    UPNP_DeletePortMapping(s.urls.controlURL, s.data.first.servicetype, s.mapped_port.c_str(), kTcp,
                           nullptr);
    s.mapped_port.clear();
}

}  // namespace net::upnp
