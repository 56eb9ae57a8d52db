// Peer events: the whole wire format between the two programs, and the
// receiver that turns arriving bytes into pending events.
//
// In each direction the connection carries nothing but single event bytes,
// one send per event, with no framing of any kind:
//
//   'c' (0x63)  knock: the sender typed its target word and knocked the top
//               block off its picture of our tower.
//   'u' (0x75)  raise: the sender typed one of its slot words and raised its
//               own tower, our picture of the rival tower, by one block.
//
// Where the stream happens to be split means nothing: one read may bring
// several events, and each byte is one event.
#pragma once

#include <atomic>
#include <cstdint>

namespace net {

inline constexpr char kKnockEvent = 'c';
inline constexpr char kRaiseEvent = 'u';

// Pending events, one flag per kind: 1 while one event of that kind waits
// for the match loop. Only a receiver turns 0 into 1 and only the match loop
// turns 1 into 0, so an event is never lost or applied twice. They live as
// long as the program; no connection resets them.
extern std::atomic<std::uint8_t> knock_flag;
extern std::atomic<std::uint8_t> raise_flag;

// Sends one event byte. A failed send loses the event and changes nothing
// else: the match goes on either way, so the result is not looked at.
void send_event(int sock, char event);

// The receiver thread's body: reads event bytes from `sock` and delivers
// each one into its flag, waiting while the flag still holds an event the
// match loop has not taken. Every delivery signals the match's wake-up.
// It ends when the peer closes the connection or a read fails (without
// moving the cursor or touching the flags), or when `stopping` is set by
// stop_receiver; bytes it has not yet delivered then go with the connection.
void receive_events(int sock, const std::atomic<bool>& stopping);

// Sets `stopping` and wakes its receiver if it waits on a full flag. A
// receiver blocked in its read is woken by shutting the connection down.
void stop_receiver(std::atomic<bool>& stopping);

// The match loop's side: takes the pending event of `flag`, if any, and lets
// a waiting receiver deliver the next one. True if an event was taken; the
// caller applies exactly one event for each true.
bool take_event(std::atomic<std::uint8_t>& flag);

}  // namespace net
