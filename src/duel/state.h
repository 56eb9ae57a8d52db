// Program-wide state of the duel that outlives a single match. Main thread
// only.
#pragma once

namespace duel {

// Blocks in the rival's tower as shown here: 3 at program start and again at
// the end of every match, so every board starts with 3 rival blocks.
extern int rival_height;

// The local player's score: +10 per typed word, -10 per block the rival
// knocks off. Never sent to the peer.
extern int score;

}  // namespace duel
