// The command line. With no option the game starts at its menu, as it
// always has; an option starts one mode at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "net/address.h"

namespace shell {

enum class Start {
    menu,      // no option
    host,      // --host
    join,      // --join ADDRESS
    practice,  // --practice [SPEED]
};

enum class Outcome {
    run,      // start the game as `start` says
    help,     // --help: print the usage and leave
    version,  // --version: print the version and leave
    history,  // --history: print the record of past matches and leave
    error,    // a bad command line; `error` says what was wrong, if the
              // option parser has not said so already
};

struct Options {
    Outcome outcome = Outcome::run;
    Start start = Start::menu;
    std::string address;  // --join's, as typed
    // --practice's, in keystrokes a minute; nothing when no SPEED was given
    std::optional<int> speed;
    bool record = true;  // false with --no-history: matches are not recorded
    // --port's: the TCP port a host listens on, from the menu or --host.
    std::uint16_t port = net::kDefaultPort;
    bool music = true;  // false with --no-music
    // false with --no-port-mapping: the host does not ask its router to
    // open the port.
    bool map_port = true;
    std::string error;
};

// Reads the command line with the C library's getopt_long, which itself
// reports an unknown option or a missing value on stderr. Touches nothing
// but stderr.
Options parse_options(int argc, char* argv[]);

void print_usage(std::FILE* to);

}  // namespace shell
