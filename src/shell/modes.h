// The two modes the menu starts: hosting and joining a duel. Each is a loop
// of passes, one connection and one match per pass; neither goes back to the
// menu.
#pragma once

namespace shell {

// Waits for a joiner on port 8080, plays a match with it, and again.
void run_host();
// Asks for the host's address, connects, plays a match, and again. Returns
// only when the keyboard is gone.
void run_join();

}  // namespace shell
