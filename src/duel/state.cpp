#include "duel/state.h"

namespace duel {

int rival_height = 3;
int score = 0;

}  // namespace duel
