// The resolver's, connector's, listener's and discovery's socket calls with
// Winsock 2, and the interfaces' addresses from the IP Helper library.
#include <winsock2.h>
#include <ws2tcpip.h>
// After the Winsock headers, which it needs.
#include <iphlpapi.h>

#include <algorithm>
#include <cstring>

#include "net/ip_sockets.h"
#include "net/winsock.h"

namespace net::ip {

namespace {

SOCKET handle(int fd) { return static_cast<SOCKET>(fd); }

struct SockAddr {
    sockaddr_storage storage{};
    int size = 0;

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
    const DWORD v = static_cast<DWORD>(value);
    ::setsockopt(handle(fd), level, name, reinterpret_cast<const char*>(&v), sizeof v);
}

void set_non_blocking(int fd) {
    u_long on = 1;
    ::ioctlsocket(handle(fd), FIONBIO, &on);
}

Socket new_socket(Family family, int type, int protocol) {
    start_winsock();
    Socket sock(socket_fd(::socket(domain_of(family), type, protocol)));
    if (sock.fd() >= 0) set_non_blocking(sock.fd());
    return sock;
}

}  // namespace

Resolved lookup(const std::string& host, std::uint16_t port) {
    start_winsock();
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
        case WSAHOST_NOT_FOUND:
        case WSANO_DATA:
        case WSANO_RECOVERY:
            return ResolveFailure{ResolveError::no_such_name, 0};
        case WSATRY_AGAIN:
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
    sock = new_socket(to.ip.family, SOCK_STREAM, IPPROTO_TCP);
    if (sock.fd() < 0) return ::WSAGetLastError();
    const SockAddr a = sockaddr_of(to);
    if (::connect(handle(sock.fd()), a.get(), a.size) == 0) return 0;
    const int code = ::WSAGetLastError();
    return code == WSAEWOULDBLOCK ? 0 : code;
}

// select() rather than WSAPoll, which on Windows before 10 2004 never
// reported a connect that failed.
ConnectState connect_state(int fd, int& code) {
    fd_set written;
    fd_set failed;
    FD_ZERO(&written);
    FD_ZERO(&failed);
    FD_SET(handle(fd), &written);
    FD_SET(handle(fd), &failed);
    timeval now{0, 0};
    if (::select(0, nullptr, &written, &failed, &now) <= 0) return ConnectState::waiting;
    if (FD_ISSET(handle(fd), &written)) return ConnectState::connected;
    int len = sizeof code;
    code = 0;
    if (::getsockopt(handle(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &len) != 0 ||
        code == 0) {
        code = WSAECONNREFUSED;
    }
    return ConnectState::failed;
}

ConnectError connect_error_of(int code, Family family) {
    switch (code) {
        case WSAECONNREFUSED:
            return ConnectError::refused;
        case WSAENETUNREACH:
        case WSAEADDRNOTAVAIL:
        case WSAEAFNOSUPPORT:
            if (family == Family::v6) return ConnectError::no_ipv6_route;
            return code == WSAENETUNREACH ? ConnectError::no_answer : ConnectError::other;
        case WSAETIMEDOUT:
        case WSAEHOSTUNREACH:
            return ConnectError::no_answer;
        default:
            return ConnectError::other;
    }
}

int listen_any(std::uint16_t port, Socket& sock) {
    Endpoint any;
    any.port = port;
    sock = new_socket(Family::v6, SOCK_STREAM, IPPROTO_TCP);
    if (sock.fd() >= 0) {
        any.ip.family = Family::v6;
        set_int(sock.fd(), IPPROTO_IPV6, IPV6_V6ONLY, 0);
    } else {
        // No IPv6 here.
        sock = new_socket(Family::v4, SOCK_STREAM, IPPROTO_TCP);
        if (sock.fd() < 0) return ::WSAGetLastError();
    }
    // On Windows SO_REUSEADDR would let any other program bind the port over
    // ours while we listen and take our joiner. SO_EXCLUSIVEADDRUSE forbids
    // that; an earlier pass's connection that has been closed does not stand
    // in the way of the next bind.
    set_int(sock.fd(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
    const SockAddr a = sockaddr_of(any);
    if (::bind(handle(sock.fd()), a.get(), a.size) != 0 || ::listen(handle(sock.fd()), 5) != 0) {
        return ::WSAGetLastError();
    }
    return 0;
}

// WSAEACCES: an exclusive binding of another program holds the port.
bool is_port_in_use(int code) { return code == WSAEADDRINUSE || code == WSAEACCES; }

int accept_one(int listener, Socket& sock) {
    sock = Socket(socket_fd(::accept(handle(listener), nullptr, nullptr)));
    if (sock.fd() < 0) return ::WSAGetLastError();
    // A socket accepted from a listener that an event was selected on
    // inherits that selection; the connection's owner chooses its own.
    ::WSAEventSelect(handle(sock.fd()), nullptr, 0);
    set_non_blocking(sock.fd());
    return 0;
}

bool accept_goes_on(int code) {
    return code == WSAEWOULDBLOCK || code == WSAECONNRESET || code == WSAEINTR;
}

std::vector<InterfaceAddress> interface_addresses() {
    std::vector<InterfaceAddress> out;
    const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    std::vector<unsigned char> buf;
    ULONG r = ERROR_BUFFER_OVERFLOW;
    // The list may grow between the two calls; a few tries are plenty.
    for (int tries = 0; tries < 3 && r == ERROR_BUFFER_OVERFLOW; ++tries) {
        buf.resize(size);
        r = ::GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                   reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()), &size);
    }
    if (r != NO_ERROR) return out;
    for (auto* ad = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buf.data()); ad != nullptr;
         ad = ad->Next) {
        if (ad->OperStatus != IfOperStatusUp) continue;
        for (auto* u = ad->FirstUnicastAddress; u != nullptr; u = u->Next) {
            const std::optional<Endpoint> e = endpoint_of(u->Address.lpSockaddr);
            if (!e) continue;
            InterfaceAddress a;
            a.ip = e->ip;
            a.loopback = ad->IfType == IF_TYPE_SOFTWARE_LOOPBACK;
            a.multicast = (ad->Flags & IP_ADAPTER_NO_MULTICAST) == 0;
            if (a.ip.family == Family::v6) {
                a.index = ad->Ipv6IfIndex;
            } else {
                a.index = ad->IfIndex;
                const unsigned bits = u->OnLinkPrefixLength;
                if (bits >= 1 && bits <= 30) {
                    IpAddress b = a.ip;
                    const std::uint32_t host = 0xffffffffu >> bits;
                    for (int k = 0; k < 4; ++k) {
                        b.bytes[static_cast<std::size_t>(k)] |=
                            static_cast<std::uint8_t>(host >> (24 - 8 * k));
                    }
                    a.broadcast = b;
                }
            }
            out.push_back(a);
        }
    }
    return out;
}

Socket discovery_socket(Family family, std::uint16_t port) {
    Socket sock = new_socket(family, SOCK_DGRAM, IPPROTO_UDP);
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
    if (::bind(handle(fd), a.get(), a.size) != 0) return Socket();
    return sock;
}

void join_group(int fd, const IpAddress& group, unsigned index) {
    ipv6_mreq m{};
    std::memcpy(&m.ipv6mr_multiaddr, group.bytes.data(), 16);
    m.ipv6mr_interface = index;
    ::setsockopt(handle(fd), IPPROTO_IPV6, IPV6_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&m),
                 sizeof m);
}

void send_datagram(int fd, const Endpoint& to, const std::vector<std::uint8_t>& bytes) {
    const SockAddr a = sockaddr_of(to);
    ::sendto(handle(fd), reinterpret_cast<const char*>(bytes.data()),
             static_cast<int>(bytes.size()), 0, a.get(), a.size);
}

// A datagram longer than the buffer fails with WSAEMSGSIZE (its start in the
// buffer, the rest gone): reported as one byte more than the buffer. A
// datagram sent earlier that met a closed port makes the next receive fail
// with WSAECONNRESET.
long receive_datagram(int fd, std::uint8_t* buf, std::size_t size, Endpoint& from) {
    for (;;) {
        sockaddr_storage sa{};
        int len = sizeof sa;
        const int n = ::recvfrom(handle(fd), reinterpret_cast<char*>(buf), static_cast<int>(size),
                                 0, reinterpret_cast<sockaddr*>(&sa), &len);
        long got = n;
        if (n == SOCKET_ERROR) {
            const int code = ::WSAGetLastError();
            if (code == WSAECONNRESET) return kPortClosed;
            if (code != WSAEMSGSIZE) return -1;
            got = static_cast<long>(size) + 1;
        }
        const std::optional<Endpoint> e = endpoint_of(reinterpret_cast<const sockaddr*>(&sa));
        if (!e) continue;
        from = *e;
        return got;
    }
}

// The IP Helper's forward table: the default routes are those with a prefix
// of length 0 and a next hop.
std::optional<IpAddress> default_gateway(Family family) {
    MIB_IPFORWARD_TABLE2* table = nullptr;
    if (::GetIpForwardTable2(static_cast<ADDRESS_FAMILY>(domain_of(family)), &table) != NO_ERROR)
        return std::nullopt;
    std::optional<IpAddress> best;
    ULONG best_metric = 0;
    for (ULONG i = 0; i < table->NumEntries; ++i) {
        const MIB_IPFORWARD_ROW2& row = table->Table[i];
        if (row.DestinationPrefix.PrefixLength != 0) continue;
        const std::optional<Endpoint> hop =
            endpoint_of(reinterpret_cast<const sockaddr*>(&row.NextHop));
        if (!hop || hop->ip == IpAddress{family, {}, hop->ip.scope}) continue;
        IpAddress gw = hop->ip;
        gw.scope = is_link_local_v6(gw) ? row.InterfaceIndex : 0;
        if (!best || row.Metric < best_metric) {
            best = gw;
            best_metric = row.Metric;
        }
    }
    ::FreeMibTable(table);
    return best;
}

Socket udp_socket_to(const Endpoint& to, IpAddress& local) {
    Socket sock = new_socket(to.ip.family, SOCK_DGRAM, IPPROTO_UDP);
    if (sock.fd() < 0) return sock;
    const SockAddr a = sockaddr_of(to);
    if (::connect(handle(sock.fd()), a.get(), a.size) != 0) return Socket();
    sockaddr_storage own{};
    int len = sizeof own;
    if (::getsockname(handle(sock.fd()), reinterpret_cast<sockaddr*>(&own), &len) != 0)
        return Socket();
    const std::optional<Endpoint> e = endpoint_of(reinterpret_cast<const sockaddr*>(&own));
    if (!e) return Socket();
    local = e->ip;
    return sock;
}

std::string machine_name() {
    wchar_t name[256] = {};
    DWORD size = 255;
    if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
    char utf8[1024] = {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(size), utf8, sizeof utf8,
                                        nullptr, nullptr);
    return n > 0 ? std::string(utf8, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace net::ip
