// The two modes the menu starts: hosting and joining a duel.
#pragma once

namespace shell {

void run_host();
void run_join();

}  // namespace shell
