// taja-duel: a two-player Korean typing duel for the terminal.
#include <chrono>
#include <cstdio>
#include <thread>

#include "console/console.h"
#include "console/encoding.h"
#include "console/terminal.h"
#include "shell/menu.h"
#include "shell/modes.h"

int main() {
    console::open_console();
    console::TerminalSession terminal;
    if (!terminal.error().empty()) {
        console::Converter to_terminal("CP949", console::terminal_encoding());
        std::fprintf(stderr, "taja-duel: %s\n", to_terminal.convert(terminal.error()).c_str());
        return 1;
    }

    console::set_fullscreen();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    console::clear_screen();
    for (;;) {
        console::hide_cursor();
        int choice = shell::main_menu();
        if (choice == shell::kHost) {
            shell::run_host();
        } else if (choice == shell::kJoin) {
            shell::run_join();
        } else if (choice == shell::kExit) {
            return 0;
        } else {
            return 1;  // the keyboard is gone: nobody left to play
        }
    }
}
