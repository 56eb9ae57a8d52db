// How fast and how well the player typed in one match, as Korean typing
// programs say it: 타수, two-set keystrokes per minute, from the first key of
// the match to its last Enter; and 정확도, the share of entered words that
// raised a block or knocked one off.
#pragma once

#include <optional>
#include <string>

#include "duel/typed_word.h"

namespace duel {

class TypingStats {
  public:
    // A line the player entered: its keystrokes and its Enter count.
    void entered(const TypedLine& line);
    // A word of an entered line, and whether it raised or knocked.
    void word(bool hit);

    // Keystrokes per minute; nothing before any time has passed between the
    // first key and the last Enter (a single pasted line, say), nor once a
    // line came in one burst: such keys were not typed by a person.
    std::optional<int> keys_per_minute() const;
    // Hits per word entered, in whole percent; nothing while no word was.
    std::optional<int> accuracy_percent() const;

    long keystrokes() const { return keystrokes_; }
    int words() const { return words_; }
    int hits() const { return hits_; }
    std::optional<Clock::time_point> first_key() const { return first_key_; }
    Clock::time_point last_enter() const { return last_enter_; }

    // The line for the result screen, CP949: "타수 231타/분   정확도 92%", or
    // that no word was entered.
    std::string summary() const;

  private:
    long keystrokes_ = 0;
    int words_ = 0;
    int hits_ = 0;
    std::optional<Clock::time_point> first_key_;
    Clock::time_point last_enter_{};
    bool burst_ = false;
};

}  // namespace duel
