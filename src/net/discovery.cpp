#include "net/discovery.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "net/ip_sockets.h"

namespace net {

namespace {

constexpr char kGameName[] = "taja-duel";
constexpr std::size_t kGameNameSize = sizeof kGameName - 1;
constexpr std::size_t kHeaderSize = kGameNameSize + 2;
constexpr std::uint8_t kAnnouncementKind = 'A';
constexpr std::uint8_t kQueryKind = 'Q';
constexpr std::uint8_t kPortField = 1;
constexpr std::uint8_t kLabelField = 2;
constexpr std::uint8_t kRunField = 3;

// The IPv6 link-local group: ff02::7461:6a61, "taja" in its last bytes.
IpAddress discovery_group() {
    IpAddress group;
    group.family = Family::v6;
    group.bytes = {0xff, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 't', 'a', 'j', 'a'};
    return group;
}

// The length of the well-formed UTF-8 character at `p` (at most `n` bytes
// there) that is no control character; 0 for anything else.
std::size_t printable_char(const std::uint8_t* p, std::size_t n) {
    const std::uint8_t b = p[0];
    if (b < 0x20 || b == 0x7f) return 0;
    if (b < 0x80) return 1;
    std::size_t need = 0;
    std::uint8_t lo = 0x80;
    std::uint8_t hi = 0xbf;
    if (b >= 0xc2 && b <= 0xdf) {
        need = 1;
        // U+0080-U+009F are control characters too.
        if (b == 0xc2) lo = 0xa0;
    } else if (b >= 0xe0 && b <= 0xef) {
        need = 2;
        if (b == 0xe0) lo = 0xa0;
        if (b == 0xed) hi = 0x9f;
    } else if (b >= 0xf0 && b <= 0xf4) {
        need = 3;
        if (b == 0xf0) lo = 0x90;
        if (b == 0xf4) hi = 0x8f;
    } else {
        return 0;
    }
    if (n < need + 1) return 0;
    for (std::size_t k = 1; k <= need; ++k) {
        if (p[k] < (k == 1 ? lo : 0x80) || p[k] > (k == 1 ? hi : 0xbf)) return 0;
    }
    return need + 1;
}

std::vector<std::uint8_t> header(std::uint8_t kind) {
    std::vector<std::uint8_t> out(kGameName, kGameName + kGameNameSize);
    out.push_back(kDiscoveryVersion);
    out.push_back(kind);
    return out;
}

// A short label of `text`: its printable characters, whole, up to 63 bytes.
std::string label_of(const std::string& text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::string label;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = printable_char(p + i, text.size() - i);
        if (len == 0) {
            ++i;
            continue;
        }
        if (label.size() + len > kMaxLabel) break;
        label.append(text, i, len);
        i += len;
    }
    return label;
}

bool same_host(const FoundHost& h, const Endpoint& from, const Announcement& a) {
    if (a.run != 0 || h.run != 0) return h.run == a.run;
    return h.port == a.port && !h.endpoints.empty() && h.endpoints.front().ip == from.ip;
}

// Every datagram waiting on `fd`, decoded; the malformed ones dropped.
template <typename Take>
void drain(int fd, Take take) {
    // Room for more than the largest datagram we take, so that a longer
    // one shows as such.
    std::uint8_t buf[kMaxDatagram + 1];
    for (;;) {
        Endpoint from;
        const long n = ip::receive_datagram(fd, buf, sizeof buf, from);
        if (n == ip::kPortClosed) continue;  // an announcement that met no one
        if (n < 0) return;
        if (static_cast<std::size_t>(n) > kMaxDatagram) continue;
        if (auto d = decode_datagram(buf, static_cast<std::size_t>(n))) take(*d, from);
    }
}

// Every group and broadcast address of the local network, once each.
void send_to_groups(int v4, int v6, const std::vector<std::uint8_t>& bytes) {
    const IpAddress group = discovery_group();
    std::vector<Endpoint> sent;
    for (const ip::InterfaceAddress& a : ip::interface_addresses()) {
        if (a.loopback) continue;
        Endpoint to;
        int fd = -1;
        if (a.ip.family == Family::v4 && a.broadcast) {
            to = Endpoint{*a.broadcast, kDiscoveryPort};
            fd = v4;
        } else if (a.ip.family == Family::v6 && a.multicast) {
            to = Endpoint{group, kDiscoveryPort};
            to.ip.scope = a.index;
            fd = v6;
        }
        if (fd < 0 || std::find(sent.begin(), sent.end(), to) != sent.end()) continue;
        sent.push_back(to);
        ip::send_datagram(fd, to, bytes);
    }
}

void join_everywhere(int v6) {
    if (v6 < 0) return;
    std::vector<unsigned> joined;
    for (const ip::InterfaceAddress& a : ip::interface_addresses()) {
        if (a.ip.family != Family::v6 || a.loopback || !a.multicast) continue;
        if (std::find(joined.begin(), joined.end(), a.index) != joined.end()) continue;
        joined.push_back(a.index);
        ip::join_group(v6, discovery_group(), a.index);
    }
}

std::vector<Watch> watches_of(const Socket& v4, const Socket& v6) {
    std::vector<Watch> out;
    for (const Socket* s : {&v4, &v6}) {
        if (s->fd() >= 0) out.push_back(Watch{s->fd(), true, false});
    }
    return out;
}

}  // namespace

std::vector<std::uint8_t> encode_announcement(const Announcement& announcement) {
    std::vector<std::uint8_t> out = header(kAnnouncementKind);
    out.insert(out.end(), {kPortField, 2, static_cast<std::uint8_t>(announcement.port >> 8),
                           static_cast<std::uint8_t>(announcement.port & 0xff)});
    const std::string label = label_of(announcement.label);
    if (!label.empty()) {
        out.push_back(kLabelField);
        out.push_back(static_cast<std::uint8_t>(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    out.push_back(kRunField);
    out.push_back(8);
    for (int shift = 56; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(announcement.run >> shift));
    }
    return out;
}

std::vector<std::uint8_t> encode_query() { return header(kQueryKind); }

std::optional<Datagram> decode_datagram(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderSize || size > kMaxDatagram) return std::nullopt;
    if (std::memcmp(data, kGameName, kGameNameSize) != 0) return std::nullopt;
    Datagram d;
    d.announcement.version = data[kGameNameSize];
    if (d.announcement.version == 0) return std::nullopt;
    const std::uint8_t kind = data[kGameNameSize + 1];
    if (kind == kAnnouncementKind) {
        d.kind = DatagramKind::announcement;
    } else if (kind == kQueryKind) {
        d.kind = DatagramKind::query;
    } else {
        return std::nullopt;
    }
    bool seen[4] = {};
    for (std::size_t i = kHeaderSize; i < size;) {
        if (size - i < 2) return std::nullopt;
        const std::uint8_t type = data[i];
        const std::size_t len = data[i + 1];
        const std::uint8_t* value = data + i + 2;
        if (size - i - 2 < len) return std::nullopt;
        i += 2 + len;
        if (type < kPortField || type > kRunField) continue;
        if (seen[type]) return std::nullopt;
        seen[type] = true;
        if (type == kPortField) {
            if (len != 2) return std::nullopt;
            d.announcement.port = static_cast<std::uint16_t>(value[0] << 8 | value[1]);
            if (d.announcement.port == 0) return std::nullopt;
        } else if (type == kLabelField) {
            if (len == 0 || len > kMaxLabel) return std::nullopt;
            for (std::size_t k = 0; k < len;) {
                const std::size_t n = printable_char(value + k, len - k);
                if (n == 0) return std::nullopt;
                k += n;
            }
            d.announcement.label.assign(reinterpret_cast<const char*>(value), len);
        } else {
            if (len != 8) return std::nullopt;
            d.announcement.run = 0;
            for (std::size_t k = 0; k < 8; ++k)
                d.announcement.run = d.announcement.run << 8 | value[k];
        }
    }
    if (d.kind == DatagramKind::announcement && !seen[kPortField]) return std::nullopt;
    return d;
}

bool HostList::heard(const Endpoint& from, const Announcement& announcement,
                     Clock::time_point now) {
    const Endpoint where{from.ip, announcement.port};
    auto it = std::find_if(hosts_.begin(), hosts_.end(),
                           [&](const FoundHost& h) { return same_host(h, from, announcement); });
    if (it == hosts_.end()) {
        if (hosts_.size() >= kMaxFoundHosts) return false;
        FoundHost h;
        h.label = announcement.label;
        h.port = announcement.port;
        h.endpoints.push_back(where);
        h.version = announcement.version;
        h.run = announcement.run;
        h.last_heard = now;
        hosts_.push_back(std::move(h));
        return true;
    }
    FoundHost& h = *it;
    h.last_heard = now;
    bool changed = false;
    if (h.label != announcement.label || h.port != announcement.port ||
        h.version != announcement.version) {
        h.label = announcement.label;
        h.version = announcement.version;
        if (h.port != announcement.port) {
            h.port = announcement.port;
            h.endpoints.clear();
        }
        changed = true;
    }
    if (std::find(h.endpoints.begin(), h.endpoints.end(), where) == h.endpoints.end() &&
        h.endpoints.size() < kMaxHostEndpoints) {
        h.endpoints.push_back(where);
        std::stable_partition(h.endpoints.begin(), h.endpoints.end(),
                              [](const Endpoint& e) { return e.ip.family == Family::v4; });
        changed = true;
    }
    return changed;
}

bool HostList::forget_old(Clock::time_point now) {
    const std::size_t before = hosts_.size();
    std::erase_if(hosts_, [now](const FoundHost& h) { return now - h.last_heard >= kForgetAfter; });
    return hosts_.size() != before;
}

std::optional<Clock::time_point> HostList::next_expiry() const {
    std::optional<Clock::time_point> first;
    for (const FoundHost& h : hosts_) {
        const Clock::time_point at = h.last_heard + kForgetAfter;
        if (!first || at < *first) first = at;
    }
    return first;
}

Announcer::Announcer(std::uint16_t port, Clock::time_point now)
    : v4_(ip::discovery_socket(Family::v4, kDiscoveryPort)),
      v6_(ip::discovery_socket(Family::v6, kDiscoveryPort)),
      next_(now),
      refilled_(now) {
    Announcement a;
    a.port = port;
    a.label = ip::machine_name();
    std::random_device random;
    a.run = static_cast<std::uint64_t>(random()) << 32 | random();
    announcement_ = encode_announcement(a);
    join_everywhere(v6_.fd());
}

std::vector<Watch> Announcer::watches() const { return watches_of(v4_, v6_); }

std::optional<Clock::time_point> Announcer::deadline() const {
    if (v4_.fd() < 0 && v6_.fd() < 0) return std::nullopt;
    return next_;
}

void Announcer::on_ready(int sock, Clock::time_point now) {
    if (sock != v4_.fd() && sock != v6_.fd()) return;
    const std::chrono::duration<double> since = now - refilled_;
    answers_left_ = std::min(8.0, answers_left_ + since.count() * 4);
    refilled_ = now;
    drain(sock, [&](const Datagram& d, const Endpoint& from) {
        if (d.kind != DatagramKind::query || answers_left_ < 1) return;
        answers_left_ -= 1;
        ip::send_datagram(sock, from, announcement_);
    });
}

void Announcer::on_deadline(Clock::time_point now) {
    if (now < next_) return;
    join_everywhere(v6_.fd());
    send_to_groups(v4_.fd(), v6_.fd(), announcement_);
    next_ = now + kAnnounceEvery;
}

HostFinder::HostFinder(Clock::time_point now)
    : v4_(ip::discovery_socket(Family::v4, kDiscoveryPort)),
      v6_(ip::discovery_socket(Family::v6, kDiscoveryPort)),
      next_join_(now + kAnnounceEvery) {
    join_everywhere(v6_.fd());
    send_to_groups(v4_.fd(), v6_.fd(), encode_query());
}

std::vector<Watch> HostFinder::watches() const { return watches_of(v4_, v6_); }

std::optional<Clock::time_point> HostFinder::deadline() const {
    if (v6_.fd() < 0) return list_.next_expiry();
    const std::optional<Clock::time_point> expiry = list_.next_expiry();
    return expiry && *expiry < next_join_ ? *expiry : next_join_;
}

bool HostFinder::on_ready(int sock, Clock::time_point now) {
    if (sock != v4_.fd() && sock != v6_.fd()) return false;
    bool changed = false;
    drain(sock, [&](const Datagram& d, const Endpoint& from) {
        if (d.kind == DatagramKind::announcement) {
            changed = list_.heard(from, d.announcement, now) || changed;
        }
    });
    return list_.forget_old(now) || changed;
}

bool HostFinder::on_deadline(Clock::time_point now) {
    if (v6_.fd() >= 0 && now >= next_join_) {
        join_everywhere(v6_.fd());
        next_join_ = now + kAnnounceEvery;
    }
    return list_.forget_old(now);
}

}  // namespace net
