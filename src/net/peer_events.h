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
// turns 1 into 0, so an event is never lost or applied twice. The receiver
// delivers one event at a time, the next only once the last is taken, so at
// most one flag is 1 and the match applies events in their wire order.
// `leave_flag` is the end of the connection: the rival has left.
extern std::atomic<std::uint8_t> knock_flag;
extern std::atomic<std::uint8_t> raise_flag;
extern std::atomic<std::uint8_t> leave_flag;

// Sends one event byte. A failed send loses the event and changes nothing
// else: the match goes on either way, so the result is not looked at.
void send_event(int sock, char event);

// The receiver thread's body: reads event bytes from `sock` and delivers
// each one into its flag, waiting while an event the match loop has not
// taken is pending. Every delivery signals the match's wake-up. When the
// peer closes or resets the connection, or a read fails, it delivers a
// leave, without moving the cursor, and ends. It ends at once when
// `stopping` is set by stop_receiver; bytes it has not yet delivered then go
// with the connection.
void receive_events(int sock, const std::atomic<bool>& stopping);

// Sets `stopping` and wakes its receiver if it waits on a full flag. A
// receiver blocked in its read is woken by shutting the connection down.
void stop_receiver(std::atomic<bool>& stopping);

// Drops every pending event: what a match's connection still delivered is
// meant for no later match. Call it once that connection's receiver has
// stopped.
void clear_events();

// The match loop's side: takes the pending event of `flag`, if any, and lets
// a waiting receiver deliver the next one. True if an event was taken; the
// caller applies exactly one event for each true.
bool take_event(std::atomic<std::uint8_t>& flag);

}  // namespace net
