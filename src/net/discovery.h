// Hosts on the local network finding joiners: a host that waits announces
// itself over UDP, and a joiner's prompt lists the hosts it hears.
//
// The wire: UDP port 48080 (kDiscoveryPort), sent to each IPv4 interface's
// broadcast address and to the IPv6 link-local multicast group
// ff02::7461:6a61 ("taja") on each interface, with a TTL / hop limit of 1 so
// that nothing leaves the local link; a query's answer goes to the one who
// asked and nowhere else. One datagram, at most 512 bytes:
//
//   offset  size  what
//        0     9  "taja-duel", the game's name: anything else is not ours
//        9     1  version, 1 here. A newer version keeps bytes 0-10 and the
//                 field layout; a reader lists it and skips what it does not
//                 know
//       10     1  kind: 'A' an announcement (a host waits for a joiner), 'Q'
//                 a query (who hosts here?), answered with an announcement
//       11     -  fields to the end, each: type (1 byte), length (1 byte),
//                 value (length bytes):
//                   1 port   2 bytes, big-endian, 1-65535: the host's TCP
//                            port (an announcement has exactly one)
//                   2 label  1-63 bytes of UTF-8 without control
//                            characters: the host's machine name
//                   3 run    8 bytes, random for each hosting program: its
//                            IPv4 and IPv6 announcements are one host
//                 any other type is skipped
//
// A datagram that is longer, ends inside a field, carries a known field
// twice or at the wrong length, an announcement without its port, or an
// unknown kind is dropped whole. A host announces every 1.5 s while it
// waits; a joiner asks once when its prompt opens and forgets a host it has
// not heard for 5 s.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/address.h"
#include "net/socket.h"

namespace net {

inline constexpr std::uint16_t kDiscoveryPort = 48080;
inline constexpr std::size_t kMaxDatagram = 512;
inline constexpr std::size_t kMaxLabel = 63;
inline constexpr std::uint8_t kDiscoveryVersion = 1;
inline constexpr std::chrono::milliseconds kAnnounceEvery{1500};
inline constexpr std::chrono::seconds kForgetAfter{5};
// The most hosts a joiner keeps, and addresses it keeps of each.
inline constexpr std::size_t kMaxFoundHosts = 16;
inline constexpr std::size_t kMaxHostEndpoints = 4;

struct Announcement {
    std::uint16_t port = kDefaultPort;
    std::string label;  // UTF-8; may be empty
    std::uint64_t run = 0;
    std::uint8_t version = kDiscoveryVersion;
};

enum class DatagramKind { announcement, query };

struct Datagram {
    DatagramKind kind = DatagramKind::query;
    Announcement announcement;  // for DatagramKind::announcement
};

// The label is cut to 63 bytes at a character's start and loses its control
// characters.
std::vector<std::uint8_t> encode_announcement(const Announcement& announcement);
std::vector<std::uint8_t> encode_query();
// Nothing for a datagram that is not ours or is malformed.
std::optional<Datagram> decode_datagram(const std::uint8_t* data, std::size_t size);

struct FoundHost {
    std::string label;                  // UTF-8, as announced
    std::uint16_t port = kDefaultPort;  // the host's TCP port
    // Where it was heard from, with its TCP port: what to hand to the
    // Connector. IPv4 ones first.
    std::vector<Endpoint> endpoints;
    std::uint8_t version = kDiscoveryVersion;
    std::uint64_t run = 0;
    Clock::time_point last_heard{};
};

// The hosts heard lately, in the order first heard: at most 16, each
// forgotten 5 s after it was last heard. A host is known by its run (or by
// address and port when it sends none); when the list is full, a new host
// waits for a place. Pure.
class HostList {
  public:
    // Returns whether hosts() changed.
    bool heard(const Endpoint& from, const Announcement& announcement, Clock::time_point now);
    bool forget_old(Clock::time_point now);
    const std::vector<FoundHost>& hosts() const { return hosts_; }
    // When the next host is to be forgotten.
    std::optional<Clock::time_point> next_expiry() const;

  private:
    std::vector<FoundHost> hosts_;
};

// The host's side: announces the TCP port `port` and this machine's name
// every 1.5 s and answers queries, as long as it lives, joining the IPv6
// group for queries on any link that has come up since. Where the discovery
// sockets cannot be had it does nothing (the host can still be joined by
// its address).
class Announcer {
  public:
    Announcer(std::uint16_t port, Clock::time_point now);

    std::vector<Watch> watches() const;
    std::optional<Clock::time_point> deadline() const;
    void on_ready(int sock, Clock::time_point now);
    void on_deadline(Clock::time_point now);

  private:
    Socket v4_;
    Socket v6_;
    std::vector<std::uint8_t> announcement_;
    Clock::time_point next_{};
    // Answers to queries: a bucket of 8 that refills at 4 a second, so that
    // a flood of queries makes a trickle of answers.
    double answers_left_ = 8;
    Clock::time_point refilled_{};
};

// The joiner's side: asks once at start, then lists what it hears. Like
// the announcer it joins the IPv6 group again every 1.5 s, on any link
// that has come up since.
class HostFinder {
  public:
    explicit HostFinder(Clock::time_point now);

    std::vector<Watch> watches() const;
    std::optional<Clock::time_point> deadline() const;
    // Both return whether hosts() changed.
    bool on_ready(int sock, Clock::time_point now);
    bool on_deadline(Clock::time_point now);

    const std::vector<FoundHost>& hosts() const { return list_.hosts(); }

  private:
    Socket v4_;
    Socket v6_;
    HostList list_;
    Clock::time_point next_join_{};
};

}  // namespace net
