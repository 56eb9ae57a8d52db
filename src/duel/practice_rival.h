// The practice rival: a player that the program itself plays, on a thread
// of its own, at the far end of a local connection. It speaks the one-byte
// wire like a rival on another machine, so the match against it is the very
// match played against a person.
#pragma once

#include <chrono>
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

// Plays the rival's side of one match on `sock`, one end of a local
// connection whose other end the player's match plays on as the host, from
// the moment it is made. It greets as a joiner does, so that the player's
// match, the referee, tells it the verdict. Before each word it pauses a
// moment, then takes as long as typing the word's two-set keystrokes takes
// at `speed` keystrokes a minute, give or take a little; now and then it
// mistypes a word and takes that time again. Its words come from a
// generator of its own: the program's shared sequence is drawn exactly as
// against a person.
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
    // The time the next word takes, from the pause before it to its Enter.
    std::chrono::milliseconds next_word_time();
    // Reads the player's bytes until `until`. False once the match is over
    // for the rival: the verdict has come, or the connection has ended.
    bool follow_player_until(std::chrono::steady_clock::time_point until);

    net::Socket sock_;
    double key_ms_;  // one keystroke at the rival's speed
    std::mt19937 random_;
    RivalPicture picture_;
    std::thread thread_;
};

}  // namespace duel
