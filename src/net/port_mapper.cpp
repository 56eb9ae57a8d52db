#include "net/port_mapper.h"

#include <condition_variable>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

#include "net/ip_sockets.h"
#include "net/local_link.h"
#include "net/upnp.h"

namespace net {

namespace {

using namespace std::chrono_literals;

// A request is sent again after 250 ms, then after 500 ms, 1 s ...; a
// method whose router has not answered in 1.5 s has none.
constexpr auto kFirstPause = 250ms;
constexpr auto kTryLimit = 1500ms;
constexpr std::uint32_t kLease = 3600;
// A mapping is renewed at half its lease, and no more often than this.
constexpr auto kShortestRenew = 60s;
// What the removal at the end waits for the routers, in all.
constexpr auto kGiveBackLimit = 500ms;

pmp::Nonce random_nonce() {
    std::random_device rd;
    pmp::Nonce n{};
    for (auto& b : n) b = static_cast<std::uint8_t>(rd());
    return n;
}

// 2000::/3: an IPv6 address the internet can route to.
bool is_global_ipv6(const IpAddress& ip) {
    return ip.family == Family::v6 && (ip.bytes[0] & 0xe0) == 0x20;
}

bool is_unspecified(const IpAddress& ip) {
    for (std::size_t i = 0; i < (ip.family == Family::v4 ? 4 : 16); ++i) {
        if (ip.bytes[i] != 0) return false;
    }
    return true;
}

Clock::time_point renew_time(Clock::time_point now, std::uint32_t lease) {
    return now + std::max<Clock::duration>(std::chrono::seconds(lease / 2), kShortestRenew);
}

}  // namespace

bool PortMapping::behind_other_nat() const {
    return state == MappingState::open && outside && pmp::is_private_or_shared(*outside);
}

enum class Protocol { pcp, natpmp };

struct PortMapper::Exchange {
    Protocol protocol = Protocol::pcp;
    Socket sock;
    Endpoint server;
    IpAddress local;
    pmp::Nonce nonce = random_nonce();
    // What the router gave, asked again at each renewal.
    std::uint16_t outside_port = 0;
    std::optional<IpAddress> outside;
    std::uint32_t lifetime = 0;
    bool got_address = false;  // NAT-PMP: the two answers it needs
    bool got_map = false;
    bool held = false;  // the router holds the mapping, until renew_at
    Clock::time_point next_send{};
    Clock::time_point give_up{};
    Clock::time_point renew_at{};
    Clock::duration pause = kFirstPause;

    // Connects to the router's port 5351 at `gateway`: false without a
    // socket.
    bool open(const IpAddress& gateway) {
        server = Endpoint{gateway, pmp::kServerPort};
        sock = ip::udp_socket_to(server, local);
        return sock.fd() >= 0;
    }

    std::vector<std::vector<std::uint8_t>> requests(std::uint16_t port, std::uint32_t lease) const {
        if (protocol == Protocol::natpmp) {
            return {pmp::encode_pmp_address_request(),
                    pmp::encode_pmp_map(port, lease == 0 ? 0 : (outside_port ? outside_port : port),
                                        lease)};
        }
        pmp::PcpMapRequest r;
        r.client = local;
        r.nonce = nonce;
        r.internal_port = port;
        r.external_port = outside_port ? outside_port : port;
        r.external.family = local.family;
        if (outside) r.external = *outside;
        r.lifetime = lease;
        return {pmp::encode_pcp_map(r)};
    }

    void send(std::uint16_t port, std::uint32_t lease) {
        for (const auto& r : requests(port, lease)) ip::send_datagram(sock.fd(), server, r);
    }

    // Asks (or asks again, to renew), until `limit`.
    void ask(std::uint16_t port, Clock::time_point now, Clock::time_point limit) {
        got_address = got_map = false;
        pause = kFirstPause;
        give_up = limit;
        send(port, kLease);
        next_send = now + pause;
    }

    std::optional<Clock::time_point> deadline() const {
        if (held) return renew_at;
        return std::min(next_send, give_up);
    }
};

// The UPnP calls and what they said, shared with the thread that makes
// them. One call at a time: `calling` is held for each.
struct PortMapper::Upnp {
    std::mutex calling;
    upnp::Igd igd;

    std::mutex mutex;  // for what follows
    bool finished = false;
    upnp::Result result = upnp::Result::no_router;
    upnp::Mapping mapping;
    bool removed = false;
    std::condition_variable removed_cv;

    Socket ours;    // watched by the loop: readable once a call has ended
    Socket theirs;  // the thread sends one byte on it

    std::optional<Clock::time_point> renew_at;
};

PortMapper::PortMapper(std::uint16_t port, Clock::time_point now)
    : port_(port), before_end_([this] { give_back(); }) {
    start_pcp(now);
    start_pinhole(now);
}

PortMapper::~PortMapper() { give_back(); }

void PortMapper::start_pcp(Clock::time_point now) {
    status_ = PortMapping{};
    const std::optional<IpAddress> gateway = ip::default_gateway(Family::v4);
    if (!gateway) {
        status_.state = MappingState::no_route;
        return;
    }
    v4_ = std::make_unique<Exchange>();
    if (!v4_->open(*gateway)) {
        next_method(now, false);
        return;
    }
    v4_->ask(port_, now, now + kTryLimit);
}

void PortMapper::start_natpmp(Clock::time_point now) {
    const Endpoint server = v4_->server;
    v4_ = std::make_unique<Exchange>();
    v4_->protocol = Protocol::natpmp;
    if (!v4_->open(server.ip)) {
        next_method(now, false);
        return;
    }
    v4_->ask(port_, now, now + kTryLimit);
}

// The first call finds the router; a later one, to renew, asks the same.
void PortMapper::start_upnp() {
    v4_.reset();
    if (!upnp_) upnp_ = std::make_shared<Upnp>();
    LocalPair pair = local_pair();
    if (!pair.ok()) {
        status_.state = MappingState::failed;
        return;
    }
    upnp_->ours = std::move(pair.one);
    upnp_->theirs = std::move(pair.other);
    try {
        // The end the thread tells on is taken now: a later call replaces it.
        std::thread([u = upnp_, port = port_, tell = upnp_->theirs.fd()] {
            upnp::Mapping mapping;
            upnp::Result result;
            {
                std::lock_guard call(u->calling);
                result = u->igd.add(port, mapping);
            }
            {
                std::lock_guard lock(u->mutex);
                u->result = result;
                u->mapping = mapping;
                u->finished = true;
            }
            const char byte = 1;
            send_bytes(tell, &byte, 1);
        }).detach();
    } catch (const std::system_error&) {
        upnp_->ours = Socket();
        status_.state = MappingState::failed;
    }
}

void PortMapper::start_pinhole(Clock::time_point now) {
    const std::optional<IpAddress> router = ip::default_gateway(Family::v6);
    if (!router) return;
    auto ex = std::make_unique<Exchange>();
    if (!ex->open(*router) || !is_global_ipv6(ex->local)) return;
    v6_ = std::move(ex);
    v6_->ask(port_, now, now + kTryLimit);
}

void PortMapper::next_method(Clock::time_point now, bool refused) {
    refused_ = refused_ || refused;
    if (v4_ && v4_->protocol == Protocol::pcp) {
        start_natpmp(now);
    } else {
        start_upnp();
    }
}

void PortMapper::opened(MappingMethod method, std::uint16_t outside_port,
                        std::optional<IpAddress> outside, std::uint32_t lease,
                        Clock::time_point now) {
    status_.state = MappingState::open;
    status_.method = method;
    status_.outside_port = outside_port;
    status_.outside = outside;
    if (method == MappingMethod::upnp && upnp_) {
        upnp_->renew_at.reset();
        if (lease != 0) upnp_->renew_at = renew_time(now, lease);
    }
}

// An answer that came from the router's port 5351; false when it is none
// this exchange waits for. May replace v4_: `ex` is not to be used after.
bool PortMapper::take_answer(Exchange& ex, const pmp::Answer& a, Clock::time_point now) {
    const bool pinhole = &ex == v6_.get();
    const auto lost = [&](bool refused) {
        if (pinhole) {
            v6_.reset();
            status_.pinhole.reset();
        } else if (ex.held || status_.state == MappingState::open) {
            // A renewal refused: start again from the first method.
            start_pcp(now);
        } else {
            next_method(now, refused);
        }
    };
    if (a.kind == pmp::AnswerKind::unsupported_version) {
        if (ex.held) return false;
        lost(false);
        return true;
    }
    if (ex.protocol == Protocol::pcp) {
        if (a.kind != pmp::AnswerKind::pcp_map || a.nonce != ex.nonce ||
            a.protocol != pmp::kProtocolTcp || a.internal_port != port_ || a.lifetime == 0)
            return false;
        if (a.result != pmp::kSuccess) {
            lost(true);
            return true;
        }
        ex.outside_port = a.external_port;
        if (!is_unspecified(a.external)) ex.outside = a.external;
    } else if (a.kind == pmp::AnswerKind::pmp_address) {
        if (a.result != pmp::kSuccess) {
            lost(true);
            return true;
        }
        ex.outside = a.external;
        ex.got_address = true;
    } else if (a.kind == pmp::AnswerKind::pmp_map) {
        if (a.result != pmp::kSuccess) {
            lost(true);
            return true;
        }
        if (a.internal_port != port_ || a.lifetime == 0) return false;
        ex.outside_port = a.external_port;
        ex.got_map = true;
    } else {
        return false;
    }
    if (ex.protocol == Protocol::natpmp && !(ex.got_address && ex.got_map)) return true;
    ex.lifetime = a.lifetime;
    ex.held = true;
    ex.renew_at = renew_time(now, a.lifetime);
    if (pinhole) {
        status_.pinhole = ex.local;
    } else {
        std::optional<IpAddress> outside = ex.outside;
        if (outside && is_unspecified(*outside)) outside.reset();
        opened(ex.protocol == Protocol::pcp ? MappingMethod::pcp : MappingMethod::natpmp,
               ex.outside_port, outside, a.lifetime, now);
    }
    return true;
}

bool PortMapper::take_upnp() {
    {
        std::lock_guard lock(upnp_->mutex);
        if (!upnp_->finished) return false;
        upnp_->finished = false;
    }
    upnp_->ours = Socket();
    const Clock::time_point now = Clock::now();
    if (upnp_->result == upnp::Result::mapped) {
        const upnp::Mapping& m = upnp_->mapping;
        opened(MappingMethod::upnp, m.outside_port, m.outside, m.lease, now);
        return true;
    }
    upnp_->renew_at.reset();
    status_ = PortMapping{};
    status_.state = MappingState::failed;
    status_.failure = refused_ || upnp_->result == upnp::Result::refused
                          ? MappingFailure::refused
                          : MappingFailure::no_answer;
    return true;
}

std::vector<Watch> PortMapper::watches() const {
    std::vector<Watch> out;
    for (const Exchange* ex : {v4_.get(), v6_.get()}) {
        if (ex != nullptr) out.push_back(Watch{ex->sock.fd(), true, false});
    }
    if (upnp_ && upnp_->ours.fd() >= 0) out.push_back(Watch{upnp_->ours.fd(), true, false});
    return out;
}

std::optional<Clock::time_point> PortMapper::deadline() const {
    std::optional<Clock::time_point> d;
    for (const Exchange* ex : {v4_.get(), v6_.get()}) {
        if (ex != nullptr) d = console::earliest(d, ex->deadline());
    }
    if (upnp_ && upnp_->ours.fd() < 0) d = console::earliest(d, upnp_->renew_at);
    return d;
}

bool PortMapper::on_ready(int sock, Clock::time_point now) {
    const PortMapping before = status_;
    if (upnp_ && sock == upnp_->ours.fd()) {
        take_upnp();
        return !(status_ == before);
    }
    for (Exchange* ex : {v4_.get(), v6_.get()}) {
        if (ex == nullptr || ex->sock.fd() != sock) continue;
        std::uint8_t buf[pmp::kPcpMaxSize + 1];
        for (;;) {
            Endpoint from;
            const long n = ip::receive_datagram(sock, buf, sizeof buf, from);
            if (n == ip::kPortClosed) {
                port_closed(*ex, now);
                break;
            }
            if (n < 0) break;
            if (from.ip != ex->server.ip || from.port != pmp::kServerPort ||
                n > static_cast<long>(pmp::kPcpMaxSize))
                continue;
            const auto answer = pmp::decode_answer(buf, static_cast<std::size_t>(n));
            if (!answer) continue;
            // An answer may end this exchange and start another.
            Exchange* const v4_before = v4_.get();
            Exchange* const v6_before = v6_.get();
            take_answer(*ex, *answer, now);
            if (v4_.get() != v4_before || v6_.get() != v6_before) break;
        }
        break;
    }
    return !(status_ == before);
}

// Nothing listens on the router's port 5351: while searching, the method
// goes at once rather than waiting its time out. (A renewal waits, as for
// a lost answer.) May replace v4_ or end v6_: `ex` is not to be used after.
void PortMapper::port_closed(Exchange& ex, Clock::time_point now) {
    if (&ex == v6_.get()) {
        if (!status_.pinhole) v6_.reset();
    } else if (!ex.held && status_.state == MappingState::asking) {
        next_method(now, false);
    }
}

bool PortMapper::on_deadline(Clock::time_point now) {
    const PortMapping before = status_;
    if (upnp_ && upnp_->ours.fd() < 0 && upnp_->renew_at && *upnp_->renew_at <= now) {
        upnp_->renew_at.reset();
        start_upnp();
    }
    if (v6_) {
        Exchange& ex = *v6_;
        if (ex.held && ex.renew_at <= now) {
            ex.held = false;
            ex.ask(port_, now, now + std::chrono::seconds(ex.lifetime) / 2);
        } else if (!ex.held && now >= ex.give_up) {
            v6_.reset();
            status_.pinhole.reset();
        } else if (!ex.held && now >= ex.next_send) {
            ex.send(port_, kLease);
            ex.pause *= 2;
            ex.next_send = now + ex.pause;
        }
    }
    if (v4_) {
        Exchange& ex = *v4_;
        if (ex.held && ex.renew_at <= now) {
            ex.held = false;
            ex.ask(port_, now, now + std::chrono::seconds(ex.lifetime) / 2);
        } else if (!ex.held && now >= ex.give_up) {
            if (status_.state == MappingState::open)
                start_pcp(now);  // the mapping ended unrenewed
            else
                next_method(now, false);
        } else if (!ex.held && now >= ex.next_send) {
            ex.send(port_, kLease);
            ex.pause *= 2;
            ex.next_send = now + ex.pause;
        }
    }
    return !(status_ == before);
}

void PortMapper::give_back() {
    if (given_back_) return;
    given_back_ = true;
    const Clock::time_point start = Clock::now();
    if (upnp_) {
        try {
            std::thread([u = upnp_] {
                {
                    std::lock_guard call(u->calling);
                    u->igd.remove();
                }
                std::lock_guard lock(u->mutex);
                u->removed = true;
                u->removed_cv.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            upnp_.reset();
        }
    }
    // A request may have made a mapping whose answer never came: each
    // exchange that asked deletes.
    for (Exchange* ex : {v4_.get(), v6_.get()}) {
        if (ex != nullptr) ex->send(port_, 0);
    }
    for (Exchange* ex : {v4_.get(), v6_.get()}) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            start + kGiveBackLimit / 2 - Clock::now());
        if (ex != nullptr && left > 0ms) wait_readable(ex->sock.fd(), left);
    }
    if (upnp_) {
        std::unique_lock lock(upnp_->mutex);
        upnp_->removed_cv.wait_until(lock, start + kGiveBackLimit, [&] { return upnp_->removed; });
    }
}

}  // namespace net
