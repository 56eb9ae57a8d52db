// The main menu: the SERVER logo, three items, a frame around the chosen one.
#pragma once

namespace shell {

enum MenuChoice { kHost = 1, kJoin = 2, kExit = 3, kPractice = 4, kInputEnded = 0 };

// Clears the screen, draws the logo and the items, and lets the player move
// the frame with the up and down arrows (or H and P) until the space bar or
// Enter chooses; q and Esc choose the third item, p practice. A line under
// the menu names these keys. Returns 1 host, 2 join, 3 exit, 4 practice, or
// kInputEnded when the keyboard is gone. Leaves attribute 7 in force.
int main_menu();

}  // namespace shell
