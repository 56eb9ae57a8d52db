#include "net/host_join.h"

#include <optional>
#include <string>

#include "console/console.h"
#include "console/line_input.h"

namespace net {

namespace {

constexpr int kTextX = 80;
constexpr int kTextRow = 25;
constexpr int kErrorRow = 27;
// The error line is blanked up to here, so a shorter reason leaves nothing
// of a longer one behind. Every reason is ASCII and Hangul, so its byte
// count is its width in cells.
constexpr int kErrorWidth = 88;
// The longest line that can be an address.
constexpr std::size_t kMaxAddressBytes = 19;

// 연결을 기다리는 중입니다..
constexpr char kWaitingText[] =
    "\xBF\xAC\xB0\xE1\xC0\xBB \xB1\xE2\xB4\xD9\xB8\xAE\xB4\xC2 \xC1\xDF\xC0\xD4\xB4\xCF\xB4\xD9..";
// "서버 IP를 입력하세요 : " (23 cells)
constexpr char kServerIpPrompt[] =
    "\xBC\xAD\xB9\xF6 IP\xB8\xA6 \xC0\xD4\xB7\xC2\xC7\xCF\xBC\xBC\xBF\xE4 : ";
// The typed address is echoed right behind the prompt. 19 characters fit,
// with the cursor resting on the twentieth cell.
constexpr console::Field kIpField{kTextX + sizeof kServerIpPrompt - 1, kTextRow, 20};

// 연결하는 중...
constexpr char kConnecting[] = "\xBF\xAC\xB0\xE1\xC7\xCF\xB4\xC2 \xC1\xDF...";
// 포트 8080을 다른 프로그램이 쓰고 있습니다. 포트가 비면 바로 연결을 기다립니다.
constexpr char kPortInUse[] =
    "\xC6\xF7\xC6\xAE 8080\xC0\xBB \xB4\xD9\xB8\xA5 \xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5\xC0\xCC "
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
// IPv4 주소가 아닙니다. 예: 192.168.0.10
constexpr char kNotAnAddress[] =
    "IPv4 \xC1\xD6\xBC\xD2\xB0\xA1 \xBE\xC6\xB4\xD5\xB4\xCF\xB4\xD9. \xBF\xB9: 192.168.0.10";
// The keys that work, on row 30, once the player has pressed one: the two
// screens stand as they always have until then.
constexpr int kKeysRow = 30;
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

}  // namespace

void show_waiting_text() { print_at(kTextX, kTextRow, kWaitingText); }

void show_server_ip_prompt() { print_at(kTextX, kTextRow, kServerIpPrompt); }

void show_waiting_keys() { print_at(kTextX, kKeysRow, kHostKeys); }

void show_connecting_text() { print_error_line(kConnecting); }

void show_link_error(const Link& link) {
    switch (link.error) {
        case LinkError::none:
        case LinkError::cancelled:
            clear_link_error();
            return;
        case LinkError::port_in_use:
            print_error_line(kPortInUse);
            return;
        case LinkError::refused:
            print_error_line(kRefused);
            return;
        case LinkError::no_answer:
            print_error_line(kNoAnswer);
            return;
        case LinkError::not_an_address:
            print_error_line(kNotAnAddress);
            return;
        case LinkError::other:
            print_error_line(std::string(kOtherError) + system_error_text(link.code));
            return;
    }
}

void clear_link_error() { print_error_line(""); }

IpRead read_server_ip(std::string& address, std::string& ip) {
    ip.clear();
    console::LineInput input;
    input.set_line(address);
    std::optional<console::LineRead> read =
        console::read_line(input, kIpField, [] { print_at(kTextX, kKeysRow, kJoinKeys); });
    if (input.take_escape()) return IpRead::cancelled;
    if (!read) return IpRead::ended;
    address = read->line;
    if (address.size() > kMaxAddressBytes) return IpRead::too_long;
    ip = address;
    return IpRead::line;
}

}  // namespace net
