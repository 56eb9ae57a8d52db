#include "net/host_join.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/encoding.h"
#include "console/line_input.h"
#include "console/loop.h"
#include "net/address_texts.h"
#include "net/peer_events.h"

namespace net {

namespace {

constexpr int kTextX = 80;
constexpr int kTextRow = 25;
constexpr int kMappingRow = 26;
constexpr int kErrorRow = 27;
// The error line is blanked up to here, so a shorter reason leaves nothing
// of a longer one behind. Every reason is ASCII and Hangul, so its byte
// count is its width in cells.
constexpr int kErrorWidth = 88;
// The addresses a friend can type, and the hosts heard on the local
// network, are listed from here down, one to a row, no more than fit.
constexpr int kListRow = 29;
constexpr std::size_t kListRows = 16;

// 연결을 기다리는 중입니다..
constexpr char kWaitingText[] =
    "\xBF\xAC\xB0\xE1\xC0\xBB \xB1\xE2\xB4\xD9\xB8\xAE\xB4\xC2 \xC1\xDF\xC0\xD4\xB4\xCF\xB4\xD9..";
// "서버 IP를 입력하세요 : " (23 cells)
constexpr char kServerIpPrompt[] =
    "\xBC\xAD\xB9\xF6 IP\xB8\xA6 \xC0\xD4\xB7\xC2\xC7\xCF\xBC\xBC\xBF\xE4 : ";
// The typed address is echoed right behind the prompt: the longest address
// fits, with the cursor resting on the cell after it.
constexpr console::Field kIpField{kTextX + sizeof kServerIpPrompt - 1, kTextRow,
                                  static_cast<int>(kMaxAddressBytes) + 1};
// "친구가 입력할 이 컴퓨터의 주소:"
constexpr char kOwnAddresses[] =
    "\xC4\xA3\xB1\xB8\xB0\xA1 \xC0\xD4\xB7\xC2\xC7\xD2 \xC0\xCC "
    "\xC4\xC4\xC7\xBB\xC5\xCD\xC0\xC7 \xC1\xD6\xBC\xD2:";
// "같은 네트워크에서 기다리는 서버 (위/아래 화살표로 고르기):"
constexpr char kFoundHosts[] =
    "\xB0\xB0\xC0\xBA \xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9\xBF\xA1\xBC\xAD "
    "\xB1\xE2\xB4\xD9\xB8\xAE\xB4\xC2 \xBC\xAD\xB9\xF6 (\xC0\xA7/\xBE\xC6\xB7\xA1 "
    "\xC8\xAD\xBB\xEC\xC7\xA5\xB7\xCE \xB0\xED\xB8\xA3\xB1\xE2):";

// What the router did with the hosting port, each on row 26 (ASCII and
// Hangul: at most 89 cells, the width the screen leaves right of cell 80).
// 인터넷: 라우터에 포트를 여는 중...
constexpr char kMappingAsking[] =
    "\xC0\xCE\xC5\xCD\xB3\xDD: \xB6\xF3\xBF\xEC\xC5\xCD\xBF\xA1 \xC6\xF7\xC6\xAE\xB8\xA6 "
    "\xBF\xA9\xB4\xC2 \xC1\xDF...";
// "인터넷: ", then the router's outside address and port.
constexpr char kMappingInternet[] = "\xC0\xCE\xC5\xCD\xB3\xDD: ";
// " (라우터에 %s로 포트를 열었습니다)", with PCP, NAT-PMP or UPnP.
constexpr char kMappingOpenedBy[] =
    " (\xB6\xF3\xBF\xEC\xC5\xCD\xBF\xA1 %s\xB7\xCE \xC6\xF7\xC6\xAE\xB8\xA6 "
    "\xBF\xAD\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9)";
// " IPv6도 열었습니다."
constexpr char kMappingPinhole[] = " IPv6\xB5\xB5 \xBF\xAD\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9.";
// 인터넷: 라우터에 %s로 포트 %u을 열었지만 바깥 주소는 알려 주지 않았습니다.
constexpr char kMappingNoOutside[] =
    "\xC0\xCE\xC5\xCD\xB3\xDD: \xB6\xF3\xBF\xEC\xC5\xCD\xBF\xA1 %s\xB7\xCE \xC6\xF7\xC6\xAE "
    "%u\xC0\xBB \xBF\xAD\xBE\xFA\xC1\xF6\xB8\xB8 \xB9\xD9\xB1\xF9 \xC1\xD6\xBC\xD2\xB4\xC2 "
    "\xBE\xCB\xB7\xC1 \xC1\xD6\xC1\xF6 \xBE\xCA\xBE\xD2\xBD\xC0\xB4\xCF\xB4\xD9.";
// 인터넷: 라우터 바깥 주소가 사설/공유 주소라 밖에서 못 들어옵니다. IPv6나 VPN을 쓰세요.
constexpr char kMappingBehindNat[] =
    "\xC0\xCE\xC5\xCD\xB3\xDD: \xB6\xF3\xBF\xEC\xC5\xCD \xB9\xD9\xB1\xF9 "
    "\xC1\xD6\xBC\xD2\xB0\xA1 \xBB\xE7\xBC\xB3/\xB0\xF8\xC0\xAF \xC1\xD6\xBC\xD2\xB6\xF3 "
    "\xB9\xDB\xBF\xA1\xBC\xAD \xB8\xF8 \xB5\xE9\xBE\xEE\xBF\xC9\xB4\xCF\xB4\xD9. "
    "IPv6\xB3\xAA VPN\xC0\xBB \xBE\xB2\xBC\xBC\xBF\xE4.";
// 인터넷: 라우터가 답하지 않습니다. 포트 %u을 라우터에서 직접 열거나 IPv6, VPN을 쓰세요.
constexpr char kMappingNoRouter[] =
    "\xC0\xCE\xC5\xCD\xB3\xDD: \xB6\xF3\xBF\xEC\xC5\xCD\xB0\xA1 \xB4\xE4\xC7\xCF\xC1\xF6 "
    "\xBE\xCA\xBD\xC0\xB4\xCF\xB4\xD9. \xC6\xF7\xC6\xAE %u\xC0\xBB "
    "\xB6\xF3\xBF\xEC\xC5\xCD\xBF\xA1\xBC\xAD \xC1\xF7\xC1\xA2 \xBF\xAD\xB0\xC5\xB3\xAA "
    "IPv6, VPN\xC0\xBB \xBE\xB2\xBC\xBC\xBF\xE4.";
// 인터넷: 라우터가 포트 열기를 거절했습니다. 포트 %u을 직접 열거나 IPv6, VPN을 쓰세요.
constexpr char kMappingRefused[] =
    "\xC0\xCE\xC5\xCD\xB3\xDD: \xB6\xF3\xBF\xEC\xC5\xCD\xB0\xA1 \xC6\xF7\xC6\xAE "
    "\xBF\xAD\xB1\xE2\xB8\xA6 \xB0\xC5\xC0\xFD\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9. "
    "\xC6\xF7\xC6\xAE %u\xC0\xBB \xC1\xF7\xC1\xA2 \xBF\xAD\xB0\xC5\xB3\xAA IPv6, "
    "VPN\xC0\xBB \xBE\xB2\xBC\xBC\xBF\xE4.";
constexpr int kMappingWidth = 89;

// 연결하는 중...
constexpr char kConnecting[] = "\xBF\xAC\xB0\xE1\xC7\xCF\xB4\xC2 \xC1\xDF...";
// 포트 8080을 다른 프로그램이 쓰고 있습니다. 포트가 비면 바로 연결을 기다립니다.
// (With the port the host listens on.)
constexpr char kPortWord[] = "\xC6\xF7\xC6\xAE ";
constexpr char kPortInUse[] =
    "\xC0\xBB \xB4\xD9\xB8\xA5 \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5\xC0\xCC "
    "\xBE\xB2\xB0\xED \xC0\xD6\xBD\xC0\xB4\xCF\xB4\xD9. \xC6\xF7\xC6\xAE\xB0\xA1 \xBA\xF1\xB8\xE9 "
    "\xB9\xD9\xB7\xCE \xBF\xAC\xB0\xE1\xC0\xBB \xB1\xE2\xB4\xD9\xB8\xB3\xB4\xCF\xB4\xD9.";
// 연결이 거부되었습니다. 그 주소에서 기다리는 서버가 없습니다.
constexpr char kRefused[] =
    "\xBF\xAC\xB0\xE1\xC0\xCC \xB0\xC5\xBA\xCE\xB5\xC7\xBE\xFA\xBD\xC0\xB4\xCF\xB4\xD9. \xB1\xD7 "
    "\xC1\xD6\xBC\xD2\xBF\xA1\xBC\xAD \xB1\xE2\xB4\xD9\xB8\xAE\xB4\xC2 \xBC\xAD\xB9\xF6\xB0\xA1 "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9.";
// 응답이 없습니다. 주소와 서버의 방화벽(포트 8080)을 확인하세요.
constexpr char kNoAnswer[] =
    "\xC0\xC0\xB4\xE4\xC0\xCC \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. \xC1\xD6\xBC\xD2\xBF\xCD "
    "\xBC\xAD\xB9\xF6\xC0\xC7 \xB9\xE6\xC8\xAD\xBA\xAE(\xC6\xF7\xC6\xAE 8080)\xC0\xBB "
    "\xC8\xAE\xC0\xCE\xC7\xCF\xBC\xBC\xBF\xE4.";
// The keys that work, on row 23 above the waiting text or the prompt, once
// the player has pressed one: the two screens stand as they always have
// until then.
constexpr int kKeysRow = 23;
// "Esc: 메뉴로"
constexpr char kHostKeys[] = "Esc: \xB8\xDE\xB4\xBA\xB7\xCE";
// "Enter: 연결   Esc: 메뉴로"
constexpr char kJoinKeys[] = "Enter: \xBF\xAC\xB0\xE1   Esc: \xB8\xDE\xB4\xBA\xB7\xCE";
// "네트워크 오류: ", followed by the system's own words.
constexpr char kOtherError[] = "\xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBF\xC0\xB7\xF9: ";

using console::print_at;

void print_error_line(const std::string& text) {
    console::DrawStep step;
    console::set_cursor(kTextX, kErrorRow);
    console::print_text("%-*.*s", kErrorWidth, kErrorWidth, text.c_str());
}

// A titled list from row 29, each line blanked to the width of the error
// row, and the rows a longer list had before blanked too.
void print_list(const char* title, const std::vector<std::string>& lines) {
    static std::size_t shown = 0;  // rows the last list took
    console::DrawStep step;
    std::size_t row = 0;
    const auto line = [&](const std::string& text) {
        console::set_cursor(kTextX, kListRow + static_cast<int>(row++));
        console::print_text("%-*.*s", kErrorWidth, kErrorWidth, text.c_str());
    };
    if (!lines.empty()) line(title);
    for (std::size_t i = 0; i < lines.size() && row < kListRows; ++i) line(lines[i]);
    const std::size_t now = row;
    while (row < shown) line("");
    shown = now;
}

// An address heard on the local network as the player would type it: a
// link-local IPv6 one with its interface's index as zone, which it needs.
std::string typed_text(const Endpoint& endpoint) {
    if (endpoint.ip.family != Family::v6 || endpoint.ip.scope == 0) return endpoint_text(endpoint);
    const std::string ip = ip_text(endpoint.ip) + "%" + std::to_string(endpoint.ip.scope);
    return endpoint.port == kDefaultPort ? ip : "[" + ip + "]:" + std::to_string(endpoint.port);
}

// A found host as the list shows it: its address, and its machine's name.
std::string host_line(const FoundHost& host, bool chosen, console::Converter& from_utf8) {
    std::string line = chosen ? "> " : "  ";
    line += typed_text(host.endpoints.front());
    if (!host.label.empty()) line += "  (" + from_utf8.convert(host.label) + ")";
    return line;
}

// The Up and Down keys among `keys`, taken out of them: -1 for each Up, +1
// for each Down, in order. A terminal sends each sequence in one piece.
std::vector<int> take_vertical_arrows(std::string& keys) {
    std::vector<int> moves;
    std::string rest;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (keys[i] == '\x1b' && i + 2 < keys.size() &&
            (keys[i + 1] == '[' || keys[i + 1] == 'O') &&
            (keys[i + 2] == 'A' || keys[i + 2] == 'B')) {
            moves.push_back(keys[i + 2] == 'A' ? -1 : 1);
            i += 2;
            continue;
        }
        rest += keys[i];
    }
    keys = std::move(rest);
    return moves;
}

}  // namespace

std::vector<console::Watch> loop_watches(const std::vector<Watch>& watches) {
    std::vector<console::Watch> out;
    for (const Watch& w : watches) out.push_back({w.sock, w.write});
    return out;
}

void show_waiting_text() { print_at(kTextX, kTextRow, kWaitingText); }

void show_own_addresses(const std::vector<std::string>& addresses) {
    std::vector<std::string> lines;
    for (const std::string& address : addresses) lines.push_back("  " + address);
    print_list(kOwnAddresses, lines);
}

void show_port_mapping(const PortMapping& mapping, std::uint16_t port) {
    static constexpr const char* kMethods[] = {"PCP", "NAT-PMP", "UPnP"};
    const char* method = kMethods[static_cast<int>(mapping.method)];
    char line[256];
    if (mapping.state == MappingState::no_route) {
        line[0] = '\0';
    } else if (mapping.state == MappingState::asking) {
        std::snprintf(line, sizeof line, "%s", kMappingAsking);
    } else if (mapping.state == MappingState::failed) {
        std::snprintf(
            line, sizeof line,
            mapping.failure == MappingFailure::refused ? kMappingRefused : kMappingNoRouter,
            static_cast<unsigned>(port));
    } else if (mapping.behind_other_nat()) {
        std::snprintf(line, sizeof line, "%s", kMappingBehindNat);
    } else if (!mapping.outside) {
        std::snprintf(line, sizeof line, kMappingNoOutside, method,
                      static_cast<unsigned>(mapping.outside_port));
    } else {
        char opened[128];
        std::snprintf(opened, sizeof opened, kMappingOpenedBy, method);
        std::snprintf(line, sizeof line, "%s%s:%u%s%s", kMappingInternet,
                      ip_text(*mapping.outside).c_str(),
                      static_cast<unsigned>(mapping.outside_port), opened,
                      mapping.pinhole ? kMappingPinhole : "");
    }
    console::DrawStep step;
    console::set_cursor(kTextX, kMappingRow);
    console::print_text("%-*.*s", kMappingWidth, kMappingWidth, line);
}

void show_server_ip_prompt() { print_at(kTextX, kTextRow, kServerIpPrompt); }

void show_waiting_keys() { print_at(kTextX, kKeysRow, kHostKeys); }

void show_connecting_text() { print_error_line(kConnecting); }

void show_link_error(const Link& link, std::uint16_t port) {
    switch (link.error) {
        case LinkError::none:
        case LinkError::cancelled:
            clear_link_error();
            return;
        case LinkError::port_in_use:
            print_error_line(kPortWord + std::to_string(port) + kPortInUse);
            return;
        case LinkError::refused:
            print_error_line(kRefused);
            return;
        case LinkError::no_answer:
            print_error_line(kNoAnswer);
            return;
        case LinkError::not_an_address:
            print_error_line(kNotAnAddressOrName);
            return;
        case LinkError::bad_port:
            print_error_line(kPortOutOfRange);
            return;
        case LinkError::name_not_found:
            print_error_line(kNameNotFound);
            return;
        case LinkError::name_server_silent:
            print_error_line(kNameServerSilent);
            return;
        case LinkError::no_ipv6_route:
            print_error_line(kNoIpv6Route);
            return;
        case LinkError::other:
            print_error_line(std::string(kOtherError) + system_error_text(link.code));
            return;
    }
}

void clear_link_error() { print_error_line(""); }

IpRead read_server_ip(std::string& address, std::string& ip, HostFinder& finder) {
    ip.clear();
    console::LineInput input;
    input.set_line(address);
    console::Converter from_utf8("UTF-8", "CP949");
    int chosen = -1;  // the host whose address Up or Down put in the field
    const auto show_hosts = [&] {
        const std::vector<FoundHost>& hosts = finder.hosts();
        if (chosen >= static_cast<int>(hosts.size())) chosen = static_cast<int>(hosts.size()) - 1;
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < hosts.size(); ++i)
            lines.push_back(host_line(hosts[i], static_cast<int>(i) == chosen, from_utf8));
        print_list(kFoundHosts, lines);
    };
    std::optional<console::LineRead> read = input.next_line();
    bool touched = false;
    while (!read && !input.escape_pending() && !console::input_ended()) {
        input.draw(kIpField);
        const std::vector<console::Watch> watches = loop_watches(finder.watches());
        const auto escape = console::escape_deadline(input.in_escape());
        const console::Turn turn = console::next_turn(console::Keys::take, watches,
                                                      console::earliest(escape, finder.deadline()));
        const auto now = Clock::now();
        console::DrawStep step;
        bool changed = false;
        for (const console::Watch& w : watches) {
            if (turn.ready_for(w.sock)) changed = finder.on_ready(w.sock, now) || changed;
        }
        if (finder.deadline() && *finder.deadline() <= now)
            changed = finder.on_deadline(now) || changed;
        std::string keys = turn.keys;
        const std::vector<FoundHost>& hosts = finder.hosts();
        for (int move : take_vertical_arrows(keys)) {
            if (hosts.empty()) continue;
            const int last = static_cast<int>(hosts.size()) - 1;
            chosen = chosen < 0 ? (move > 0 ? 0 : last) : std::clamp(chosen + move, 0, last);
            input.set_line(typed_text(hosts[chosen].endpoints.front()));
            changed = true;
        }
        input.add(keys);
        if (escape && turn.timed_out && input.in_escape() && Clock::now() >= *escape)
            input.end_escape();
        if (!touched && !turn.keys.empty()) print_at(kTextX, kKeysRow, kJoinKeys);
        touched = touched || !turn.keys.empty();
        if (changed) show_hosts();
        read = input.next_line();
    }
    {
        console::DrawStep step;
        if (read) {
            input.draw_line(kIpField, read->line);
        } else {
            input.draw(kIpField);
        }
        console::clear_cursor_rest();
    }
    if (input.take_escape()) return IpRead::cancelled;
    if (!read) return IpRead::ended;
    address = read->line;
    if (address.size() > kMaxAddressBytes) return IpRead::too_long;
    ip = address;
    return IpRead::line;
}

bool is_a_player(const Socket& sock) {
    set_nonblocking(sock.fd());
    const auto until = console::Clock::now() + kFirstByteWait;
    const console::Watch watch{sock.fd()};
    bool heard = false;
    for (;;) {
        const console::Turn turn = console::next_turn(console::Keys::leave, {&watch, 1}, until);
        if (turn.ready_for(watch.sock)) {
            char data[512];
            const long n = peek_bytes(sock.fd(), data, sizeof data);
            if (n == 0 || n == -1) return false;
            if (n > 0) {
                heard = true;
                long first_event = 0;
                while (first_event < n && !event_of(data[first_event])) ++first_event;
                if (first_event > 0)
                    receive_bytes(sock.fd(), data, static_cast<std::size_t>(first_event));
                if (first_event < n) return true;
            }
        }
        if (turn.timed_out) return !heard;
    }
}

}  // namespace net
