// The palette index a player's terminal shows for each console colour the
// program uses (the ANSI palette: 1 red, 4 blue, 8-15 bright).
#pragma once

namespace taja::test {

constexpr int palette_of(int console_attr) {
    switch (console_attr) {
        case 3: return 6;    // cyan
        case 7: return 7;    // light grey
        case 9: return 12;   // bright blue
        case 10: return 10;  // bright green
        case 11: return 14;  // bright cyan
        case 12: return 9;   // bright red
        case 13: return 13;  // bright magenta
        case 14: return 11;  // yellow
        case 15: return 15;  // bright white
        default: return -100;
    }
}

}  // namespace taja::test
