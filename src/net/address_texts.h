// Why a typed address led nowhere, in the style of the connection's other
// reasons: shown on the error row below the join prompt, the address
// staying in the field to be corrected. CP949; each is ASCII and Hangul, so
// its byte count is its width in cells (all within the row's 88).
#pragma once

namespace net {

// 그 이름의 주소를 찾지 못했습니다. 이름을 확인하세요.
constexpr char kNameNotFound[] =
    "\xB1\xD7 \xC0\xCC\xB8\xA7\xC0\xC7 \xC1\xD6\xBC\xD2\xB8\xA6 \xC3\xA3\xC1\xF6 "
    "\xB8\xF8\xC7\xDF\xBD\xC0\xB4\xCF\xB4\xD9. \xC0\xCC\xB8\xA7\xC0\xBB "
    "\xC8\xAE\xC0\xCE\xC7\xCF\xBC\xBC\xBF\xE4.";
// 이름을 찾을 수 없습니다. 네트워크 연결을 확인하세요.
// (The name server did not answer: ResolveError::try_later.)
constexpr char kNameServerSilent[] =
    "\xC0\xCC\xB8\xA7\xC0\xBB \xC3\xA3\xC0\xBB \xBC\xF6 \xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. "
    "\xB3\xD7\xC6\xAE\xBF\xF6\xC5\xA9 \xBF\xAC\xB0\xE1\xC0\xBB "
    "\xC8\xAE\xC0\xCE\xC7\xCF\xBC\xBC\xBF\xE4.";
// 포트는 1부터 65535까지의 수입니다. 예: 192.168.0.10:9090
constexpr char kPortOutOfRange[] =
    "\xC6\xF7\xC6\xAE\xB4\xC2 1\xBA\xCE\xC5\xCD 65535\xB1\xEE\xC1\xF6\xC0\xC7 "
    "\xBC\xF6\xC0\xD4\xB4\xCF\xB4\xD9. \xBF\xB9: 192.168.0.10:9090";
// 이 컴퓨터에는 IPv6 연결이 없습니다. IPv4 주소나 이름으로 해 보세요.
constexpr char kNoIpv6Route[] =
    "\xC0\xCC \xC4\xC4\xC7\xBB\xC5\xCD\xBF\xA1\xB4\xC2 IPv6 \xBF\xAC\xB0\xE1\xC0\xCC "
    "\xBE\xF8\xBD\xC0\xB4\xCF\xB4\xD9. IPv4 \xC1\xD6\xBC\xD2\xB3\xAA "
    "\xC0\xCC\xB8\xA7\xC0\xB8\xB7\xCE \xC7\xD8 \xBA\xB8\xBC\xBC\xBF\xE4.";
// 주소가 아닙니다. 예: 192.168.0.10, friend.example, [2001:db8::1]:9090
// (In place of today's IPv4-only reason, for AddressError::malformed.)
constexpr char kNotAnAddressOrName[] =
    "\xC1\xD6\xBC\xD2\xB0\xA1 \xBE\xC6\xB4\xD5\xB4\xCF\xB4\xD9. \xBF\xB9: 192.168.0.10, "
    "friend.example, [2001:db8::1]:9090";

}  // namespace net
