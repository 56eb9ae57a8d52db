// taja-duel: a two-player Korean typing duel for the terminal.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "console/console.h"
#include "console/encoding.h"
#include "console/loop.h"
#include "console/terminal.h"
#include "duel/match.h"
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

    // NO_COLOR, set and not empty: no colours (no-color.org).
    if (const char* no_colour = std::getenv("NO_COLOR"); no_colour && *no_colour)
        console::draw_without_colour();
    if (!options.music) duel::play_without_music();
    console::set_fullscreen();
    console::pause_until(console::Clock::now() + std::chrono::milliseconds(800));
    console::clear_screen();
    console::hide_cursor();
    // Practice from the menu plays at the speed practised last in this run.
    std::optional<int> practice_speed = options.speed;
    shell::ModeEnd end = shell::ModeEnd::menu;
    switch (options.start) {
        case shell::Start::host:
            end = shell::run_host(history, options.port, options.map_port);
            break;
        case shell::Start::join:
            // The address as the prompt would have taken it: CP949.
            end = shell::run_join(
                history,
                console::Converter(console::terminal_encoding(), "CP949").convert(options.address));
            break;
        case shell::Start::practice:
            end = shell::run_practice(history, practice_speed);
            break;
        case shell::Start::menu:
            break;
    }
    while (end == shell::ModeEnd::menu) {
        console::hide_cursor();
        switch (shell::main_menu()) {
            case shell::kHost:
                end = shell::run_host(history, options.port, options.map_port);
                break;
            case shell::kJoin:
                end = shell::run_join(history);
                break;
            case shell::kPractice:
                end = shell::run_practice(history, practice_speed);
                break;
            case shell::kExit:
                return 0;
            default:
                end = shell::ModeEnd::input_ended;
                break;
        }
    }
    return 1;  // the keyboard is gone: nobody left to play
}
