// The modes: hosting and joining a duel, which the menu starts, and
// practice against the program's own rival. Each is a loop of passes, one
// connection and one match per pass, until the player presses Esc (at once
// while a connection is being made; twice in a match), and the menu comes
// back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace shell {

// How a mode ended: the player asked for the menu, or the keyboard is gone.
enum class ModeEnd { menu, input_ended };

// Every mode records its matches in the player's history at `history`, a
// file's path, and shows the best 타수 so far under each result; with ""
// it records nothing.

// Waits for a joiner on `port`, plays a match with it, and again. With
// `map_port`, asks the router to open the port to the internet meanwhile,
// and closes it when hosting ends.
ModeEnd run_host(const std::string& history, std::uint16_t port, bool map_port);
// Asks for the host's address, connects, plays a match, and again. Given an
// `address` (CP949), the first pass connects to it without asking; later
// prompts start from the address typed last.
ModeEnd run_join(const std::string& history, const std::string& address = {});
// Plays match after match against the practice rival, which types `speed`
// keystrokes a minute, on a local connection of each match's own. With no
// `speed`, the rival starts at the player's recent level in practice, and
// the board says so; `speed` is then the speed chosen.
ModeEnd run_practice(const std::string& history, std::optional<int>& speed);

}  // namespace shell
