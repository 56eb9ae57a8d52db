// taja-duel: a two-player Korean typing duel for the terminal.
#include <chrono>
#include <cstdio>
#include <string>

#include "console/console.h"
#include "console/encoding.h"
#include "console/loop.h"
#include "console/terminal.h"
#include "shell/history.h"
#include "shell/menu.h"
#include "shell/modes.h"
#include "shell/options.h"

int main(int argc, char* argv[]) {
    // The command line is read before the terminal is touched: help and
    // errors leave it as it was.
    const shell::Options options = shell::parse_options(argc, argv);
    switch (options.outcome) {
        case shell::Outcome::help:
            shell::print_usage(stdout);
            return 0;
        case shell::Outcome::version:
            std::printf("taja-duel %s\n", TAJA_VERSION);
            return 0;
        case shell::Outcome::history:
            return shell::print_history();
        case shell::Outcome::error:
            if (!options.error.empty())
                std::fprintf(stderr, "taja-duel: %s\n", options.error.c_str());
            shell::print_usage(stderr);
            return 2;
        case shell::Outcome::run:
            break;
    }

    const std::string history = options.record ? shell::history_path() : std::string();
    console::open_console();
    console::TerminalSession terminal;
    if (!terminal.error().empty()) {
        console::Converter to_terminal("CP949", console::terminal_encoding());
        std::fprintf(stderr, "taja-duel: %s\n", to_terminal.convert(terminal.error()).c_str());
        return 1;
    }

    console::set_fullscreen();
    console::pause_until(console::Clock::now() + std::chrono::milliseconds(800));
    console::clear_screen();
    console::hide_cursor();
    switch (options.start) {
        case shell::Start::host:
            shell::run_host(history, options.port, options.map_port);
            return 1;
        case shell::Start::join:
            // The address as the prompt would have taken it: CP949.
            shell::run_join(
                history,
                console::Converter(console::terminal_encoding(), "CP949").convert(options.address));
            return 1;  // the keyboard is gone
        case shell::Start::practice:
            shell::run_practice(history, options.speed);
            return 1;
        case shell::Start::menu:
            break;
    }
    for (;;) {
        console::hide_cursor();
        int choice = shell::main_menu();
        if (choice == shell::kHost) {
            shell::run_host(history, options.port, options.map_port);
        } else if (choice == shell::kJoin) {
            shell::run_join(history);
        } else if (choice == shell::kExit) {
            return 0;
        } else {
            return 1;  // the keyboard is gone: nobody left to play
        }
    }
}
