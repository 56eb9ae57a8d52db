// Peer events: the whole wire format between the two programs.
//
// In each direction the connection carries single bytes, one send each, with
// no framing of any kind:
//
//   'c' (0x63)  knock: the sender typed its target word and knocked the top
//               block off its picture of our tower.
//   'u' (0x75)  raise: the sender typed one of its slot words and raised its
//               own tower, our picture of the rival tower, by one block.
//   'h' (0x68)  hello: the sender knows the verdict below. The joiner sends
//               it as soon as its connection stands; a host that receives it
//               answers with a hello of its own.
//   'w' (0x77)  verdict, host won  } sent by a host whose joiner said hello,
//   'l' (0x6C)  verdict, host lost } when its match ends, before its result
//                                    shows: the host's picture decides.
//
// Every other byte is ignored, and must stay so: a build that does not know
// a byte plays on as if it had not come, which is how later builds can add
// bytes of their own. Where the stream happens to be split means nothing:
// one read may bring several bytes, and each byte counts on its own.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace net {

inline constexpr char kKnockEvent = 'c';
inline constexpr char kRaiseEvent = 'u';
inline constexpr char kHello = 'h';
inline constexpr char kHostWon = 'w';
inline constexpr char kHostLost = 'l';

// What arrives. `left` is the end of the connection: the peer closed, reset
// or half-closed it, or it failed.
enum class PeerEvent { knock, raise, hello, host_won, host_lost, left };

// The event one byte from the peer stands for; nothing for any other byte.
std::optional<PeerEvent> event_of(char byte);

// Sends one byte. A failed send loses it and changes nothing else: the match
// goes on either way, so the result is not looked at.
void send_event(int sock, char event);

// Appends the events among `n` bytes from the peer, in wire order.
void add_events(const char* bytes, std::size_t n, std::vector<PeerEvent>& events);

}  // namespace net
