// The practice rival: a player that the program itself plays, on a thread
// of its own, at the far end of a local connection. It speaks the one-byte
// wire like a rival on another machine, so the match against it is the very
// match played against a person.
#pragma once

#include <chrono>
#include <cstdint>
#include <random>
#include <thread>

#include "net/socket.h"

namespace duel {

// The rival's typing speed in keystrokes a minute (타/분).
inline constexpr int kMinPracticeSpeed = 50;
inline constexpr int kMaxPracticeSpeed = 1000;
inline constexpr int kDefaultPracticeSpeed = 200;

// What the rival knows of the match: both towers, as the bytes on the wire
// tell them. A pure picture; the rival's thread moves it.
class RivalPicture {
  public:
    // The player's word: a raise grows the player's tower, a knock takes
    // the rival's top block.
    void take_players(char event);
    // The rival's next word: a knock while the player's tower stands as
    // high as its own or higher, a raise otherwise. Applies it to the
    // picture and returns the byte to send.
    char play_own();
    // A tower at 12 or at 0: the match is over on both sides.
    bool over() const;

    int own() const { return own_; }
    int players() const { return players_; }

  private:
    // Every match starts with three blocks a side.
    int own_ = 3;
    int players_ = 3;
};

// The rival's typing, word by word, on a clock of its own: which word, and
// how long it looks at the board and then types. Pure: the rival's thread
// waits these times, a test adds them up. Over a match the rival types
// `speed` keystrokes a minute as the result line counts them (every key of
// an entered line and its Enter, from the first key to the last Enter),
// its looks at the board included; each word's time varies a little, and
// now and then a word is mistyped, entered, and typed again.
class RivalTyping {
  public:
    RivalTyping(int speed, std::uint32_t seed);

    struct Word {
        int index;      // in word_table
        bool mistyped;  // entered twice: wrong, then right
        std::chrono::milliseconds look;
        std::chrono::milliseconds typing;  // from its first key to its last Enter
    };
    Word next();

  private:
    double key_ms_;  // one keystroke at the rival's speed
    std::mt19937 random_;
};

// Plays the rival's side of one match on `sock`, one end of a local
// connection whose other end the player's match plays on as the host, from
// the moment it is made. It greets as a joiner does, so that the player's
// match, the referee, tells it the verdict. It takes the times of
// RivalTyping at `speed` for each word. Its words come from a generator of
// its own.
//
// As a joiner does, it types nothing while its picture stands at an end:
// the player's words still in flight may take the picture back into play,
// and the verdict of the player's match decides. It stops, closing its end
// of the connection first as a joiner does, when the verdict comes or the
// connection ends. Destroying it shuts its end down and joins its thread;
// the socket closes with it.
class PracticeRival {
  public:
    PracticeRival(net::Socket sock, int speed);
    ~PracticeRival();
    PracticeRival(const PracticeRival&) = delete;
    PracticeRival& operator=(const PracticeRival&) = delete;

  private:
    void play();
    // Reads the player's bytes until `until`. False once the match is over
    // for the rival: the verdict has come, or the connection has ended.
    bool follow_player_until(std::chrono::steady_clock::time_point until);

    net::Socket sock_;
    RivalTyping typing_;
    RivalPicture picture_;
    std::thread thread_;
};

}  // namespace duel
