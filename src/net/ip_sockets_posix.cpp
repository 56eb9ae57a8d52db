// The resolver's, connector's, listener's and discovery's socket calls with
// POSIX sockets.
#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "net/ip_sockets.h"

namespace net::ip {

namespace {

// Room for either family's address.
struct SockAddr {
    sockaddr_storage storage{};
    socklen_t size = 0;

    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

SockAddr sockaddr_of(const Endpoint& e) {
    SockAddr a;
    if (e.ip.family == Family::v4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&a.storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(e.port);
        std::memcpy(&in->sin_addr, e.ip.bytes.data(), 4);
        a.size = sizeof(sockaddr_in);
    } else {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&a.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(e.port);
        std::memcpy(&in6->sin6_addr, e.ip.bytes.data(), 16);
        in6->sin6_scope_id = e.ip.scope;
        a.size = sizeof(sockaddr_in6);
    }
    return a;
}

// The address in `sa`, if it is an IPv4 or IPv6 one.
std::optional<Endpoint> endpoint_of(const sockaddr* sa) {
    if (sa == nullptr) return std::nullopt;
    Endpoint e;
    if (sa->sa_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(sa);
        e.ip.family = Family::v4;
        std::memcpy(e.ip.bytes.data(), &in->sin_addr, 4);
        e.port = ntohs(in->sin_port);
        return e;
    }
    if (sa->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
        e.ip.family = Family::v6;
        std::memcpy(e.ip.bytes.data(), &in6->sin6_addr, 16);
        e.ip.scope = in6->sin6_scope_id;
        e.port = ntohs(in6->sin6_port);
        return e;
    }
    return std::nullopt;
}

int domain_of(Family family) { return family == Family::v4 ? AF_INET : AF_INET6; }

void set_int(int fd, int level, int name, int value) {
    ::setsockopt(fd, level, name, &value, sizeof value);
}

}  // namespace

Resolved lookup(const std::string& host, std::uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int code = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    switch (code) {
        case 0:
            break;
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
        case EAI_FAIL:
            return ResolveFailure{ResolveError::no_such_name, 0};
        case EAI_AGAIN:
            return ResolveFailure{ResolveError::try_later, 0};
        default:
            return ResolveFailure{ResolveError::other, code};
    }
    std::vector<Endpoint> endpoints;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        if (auto e = endpoint_of(a->ai_addr)) {
            if (std::find(endpoints.begin(), endpoints.end(), *e) == endpoints.end()) {
                endpoints.push_back(*e);
            }
        }
    }
    ::freeaddrinfo(found);
    if (endpoints.empty()) return ResolveFailure{ResolveError::no_such_name, 0};
    return endpoints;
}

int start_connect(const Endpoint& to, Socket& sock) {
    sock = Socket(::socket(domain_of(to.ip.family), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (sock.fd() < 0) return errno;
    const SockAddr a = sockaddr_of(to);
    if (::connect(sock.fd(), a.get(), a.size) == 0) return 0;
    return errno == EINPROGRESS || errno == EINTR ? 0 : errno;
}

ConnectState connect_state(int fd, int& code) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, 0) <= 0) return ConnectState::waiting;
    socklen_t len = sizeof code;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &len) != 0) code = errno;
    return code == 0 ? ConnectState::connected : ConnectState::failed;
}

ConnectError connect_error_of(int code, Family family) {
    switch (code) {
        case ECONNREFUSED:
            return ConnectError::refused;
        case ENETUNREACH:
        case EADDRNOTAVAIL:
        case EAFNOSUPPORT:
            if (family == Family::v6) return ConnectError::no_ipv6_route;
            return code == ENETUNREACH ? ConnectError::no_answer : ConnectError::other;
        case ETIMEDOUT:
        case EHOSTUNREACH:
            return ConnectError::no_answer;
        default:
            return ConnectError::other;
    }
}

int listen_any(std::uint16_t port, Socket& sock) {
    sock = Socket(::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    Endpoint any;
    any.port = port;
    if (sock.fd() >= 0) {
        any.ip.family = Family::v6;
        set_int(sock.fd(), IPPROTO_IPV6, IPV6_V6ONLY, 0);
    } else {
        // No IPv6 here.
        sock = Socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (sock.fd() < 0) return errno;
    }
    // The next pass binds again while the connection of the last match
    // lingers.
    set_int(sock.fd(), SOL_SOCKET, SO_REUSEADDR, 1);
    const SockAddr a = sockaddr_of(any);
    if (::bind(sock.fd(), a.get(), a.size) != 0 || ::listen(sock.fd(), 5) != 0) return errno;
    return 0;
}

bool is_port_in_use(int code) { return code == EADDRINUSE; }

int accept_one(int listener, Socket& sock) {
    for (;;) {
        sock = Socket(::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (sock.fd() >= 0) return 0;
        if (errno != EINTR) return errno;
    }
}

// Linux also passes pending network errors of a connection that broke
// before we took it on to accept (see accept(2)).
bool accept_goes_on(int code) {
    switch (code) {
        case EAGAIN:
        case ECONNABORTED:
        case EPROTO:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETDOWN:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

std::vector<InterfaceAddress> interface_addresses() {
    std::vector<InterfaceAddress> out;
    ifaddrs* all = nullptr;
    if (::getifaddrs(&all) != 0) return out;
    for (const ifaddrs* i = all; i != nullptr; i = i->ifa_next) {
        if ((i->ifa_flags & IFF_UP) == 0) continue;
        const std::optional<Endpoint> e = endpoint_of(i->ifa_addr);
        if (!e) continue;
        InterfaceAddress a;
        a.ip = e->ip;
        a.index = ::if_nametoindex(i->ifa_name);
        a.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
        a.multicast = (i->ifa_flags & IFF_MULTICAST) != 0;
        if (a.ip.family == Family::v4 && (i->ifa_flags & IFF_BROADCAST) != 0) {
            if (const auto b = endpoint_of(i->ifa_broadaddr)) a.broadcast = b->ip;
        }
        out.push_back(a);
    }
    ::freeifaddrs(all);
    return out;
}

Socket discovery_socket(Family family, std::uint16_t port) {
    Socket sock(::socket(domain_of(family), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (sock.fd() < 0) return sock;
    const int fd = sock.fd();
    set_int(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (family == Family::v4) {
        set_int(fd, SOL_SOCKET, SO_BROADCAST, 1);
        set_int(fd, IPPROTO_IP, IP_TTL, 1);
        set_int(fd, IPPROTO_IP, IP_MULTICAST_TTL, 1);
    } else {
        set_int(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1);
        set_int(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, 1);
        set_int(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, 1);
        set_int(fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, 1);
    }
    Endpoint any;
    any.ip.family = family;
    any.port = port;
    const SockAddr a = sockaddr_of(any);
    if (::bind(fd, a.get(), a.size) != 0) return Socket();
    return sock;
}

void join_group(int fd, const IpAddress& group, unsigned index) {
    ipv6_mreq m{};
    std::memcpy(&m.ipv6mr_multiaddr, group.bytes.data(), 16);
    m.ipv6mr_interface = index;
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &m, sizeof m);
}

void send_datagram(int fd, const Endpoint& to, const std::vector<std::uint8_t>& bytes) {
    const SockAddr a = sockaddr_of(to);
    ::sendto(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL, a.get(), a.size);
}

long receive_datagram(int fd, std::uint8_t* buf, std::size_t size, Endpoint& from) {
    for (;;) {
        sockaddr_storage sa{};
        socklen_t len = sizeof sa;
        const ssize_t n =
            ::recvfrom(fd, buf, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno == ECONNREFUSED ? kPortClosed : -1;
        const std::optional<Endpoint> e = endpoint_of(reinterpret_cast<const sockaddr*>(&sa));
        if (!e) continue;
        from = *e;
        return static_cast<long>(n);
    }
}

// The kernel's routing tables in /proc: for IPv4 a line per route, the
// addresses as hexadecimal numbers in the machine's byte order; for IPv6 the
// addresses as 32 hexadecimal digits in network order.
std::optional<IpAddress> default_gateway(Family family) {
    std::optional<IpAddress> best;
    unsigned long best_metric = std::numeric_limits<unsigned long>::max();
    std::ifstream table(family == Family::v4 ? "/proc/net/route" : "/proc/net/ipv6_route");
    std::string line;
    const auto hex_bytes = [](const std::string& text, std::uint8_t* out) {
        for (std::size_t i = 0; i < 16; ++i) {
            out[i] = static_cast<std::uint8_t>(std::stoul(text.substr(2 * i, 2), nullptr, 16));
        }
    };
    while (std::getline(table, line)) {
        std::istringstream in(line);
        IpAddress gw;
        gw.family = family;
        unsigned long metric = 0;
        try {
            if (family == Family::v4) {
                std::string name, dest, gateway, flags, refs, use, metric_text, mask;
                if (!(in >> name >> dest >> gateway >> flags >> refs >> use >> metric_text >> mask))
                    continue;
                constexpr unsigned long kGatewayFlag = 0x2;  // RTF_GATEWAY
                if (dest != "00000000" || mask != "00000000" ||
                    (std::stoul(flags, nullptr, 16) & kGatewayFlag) == 0)
                    continue;
                const std::uint32_t host_order = static_cast<std::uint32_t>(std::stoul(gateway, nullptr, 16));
                std::memcpy(gw.bytes.data(), &host_order, 4);
                metric = std::stoul(metric_text);
            } else {
                std::string dest, dest_len, src, src_len, next, metric_text, refs, use, flags, name;
                if (!(in >> dest >> dest_len >> src >> src_len >> next >> metric_text >> refs >> use >>
                      flags >> name))
                    continue;
                if (dest != std::string(32, '0') || dest_len != "00" || next == std::string(32, '0') ||
                    next.size() != 32)
                    continue;
                hex_bytes(next, gw.bytes.data());
                if (is_link_local_v6(gw)) gw.scope = ::if_nametoindex(name.c_str());
                metric = std::stoul(metric_text, nullptr, 16);
            }
        } catch (const std::exception&) {
            continue;
        }
        if (!best || metric < best_metric) {
            best = gw;
            best_metric = metric;
        }
    }
    return best;
}

Socket udp_socket_to(const Endpoint& to, IpAddress& local) {
    Socket sock(::socket(domain_of(to.ip.family), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (sock.fd() < 0) return sock;
    const SockAddr a = sockaddr_of(to);
    if (::connect(sock.fd(), a.get(), a.size) != 0) return Socket();
    sockaddr_storage own{};
    socklen_t len = sizeof own;
    if (::getsockname(sock.fd(), reinterpret_cast<sockaddr*>(&own), &len) != 0) return Socket();
    const std::optional<Endpoint> e = endpoint_of(reinterpret_cast<const sockaddr*>(&own));
    if (!e) return Socket();
    local = e->ip;
    return sock;
}

std::string machine_name() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace net::ip
