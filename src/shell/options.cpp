#include "shell/options.h"

#include <getopt.h>

#include <charconv>
#include <cstring>
#include <optional>

#include "duel/practice_rival.h"

namespace shell {

namespace {

// getopt_long's answers for the options with no short form.
enum : int {
    kHostOption = 1000,
    kJoinOption,
    kPracticeOption,
    kHistoryOption,
    kNoHistoryOption,
    kPortOption,
    kNoMusicOption,
    kNoPortMappingOption,
};

constexpr option kLongOptions[] = {
    {"host", no_argument, nullptr, kHostOption},
    {"join", required_argument, nullptr, kJoinOption},
    {"practice", optional_argument, nullptr, kPracticeOption},
    {"history", no_argument, nullptr, kHistoryOption},
    {"no-history", no_argument, nullptr, kNoHistoryOption},
    {"port", required_argument, nullptr, kPortOption},
    {"no-music", no_argument, nullptr, kNoMusicOption},
    {"no-port-mapping", no_argument, nullptr, kNoPortMappingOption},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// SPEED as a whole number within the rival's range; 0 when it is none.
int speed_of(const char* text) {
    int speed = 0;
    const char* end = text + std::strlen(text);
    auto [stop, ec] = std::from_chars(text, end, speed);
    if (ec != std::errc() || stop != end || text == end) return 0;
    if (speed < duel::kMinPracticeSpeed || speed > duel::kMaxPracticeSpeed) return 0;
    return speed;
}

Options failed(std::string why) {
    Options options;
    options.outcome = Outcome::error;
    options.error = std::move(why);
    return options;
}

}  // namespace

Options parse_options(int argc, char* argv[]) {
    Options options;
    bool mode_given = false;
    bool history = false;
    const auto choose = [&](Start start) {
        if (mode_given) return false;
        mode_given = true;
        options.start = start;
        return true;
    };
    optind = 1;
    opterr = 1;
    for (;;) {
        const int c = getopt_long(argc, argv, "hV", kLongOptions, nullptr);
        if (c == -1) break;
        switch (c) {
            case 'h':
                options.outcome = Outcome::help;
                return options;
            case 'V':
                options.outcome = Outcome::version;
                return options;
            case kHistoryOption:
                history = true;
                break;
            case kNoHistoryOption:
                options.record = false;
                break;
            case kNoPortMappingOption:
                options.map_port = false;
                break;
            case kPortOption: {
                const std::optional<std::uint16_t> port = net::parse_port(optarg);
                if (!port) {
                    return failed(
                        std::string("PORT must be a whole number from 1 to 65535, not '") + optarg +
                        "'");
                }
                options.port = *port;
                break;
            }
            case kNoMusicOption:
                options.music = false;
                break;
            case kHostOption:
            case kJoinOption:
            case kPracticeOption: {
                const Start start = c == kHostOption   ? Start::host
                                    : c == kJoinOption ? Start::join
                                                       : Start::practice;
                if (!choose(start)) return failed("choose one of --host, --join and --practice");
                if (start == Start::join) options.address = optarg;
                if (start != Start::practice) break;
                // SPEED may follow as an argument of its own, as well as
                // after '='.
                const char* speed = optarg;
                if (speed == nullptr && optind < argc && argv[optind][0] != '-') {
                    speed = argv[optind++];
                }
                if (speed == nullptr) break;
                options.speed = speed_of(speed);
                if (*options.speed == 0) {
                    return failed(std::string("SPEED must be a whole number from ") +
                                  std::to_string(duel::kMinPracticeSpeed) + " to " +
                                  std::to_string(duel::kMaxPracticeSpeed) + ", not '" + speed +
                                  "'");
                }
                break;
            }
            default:
                // getopt_long has said what was wrong.
                return failed("");
        }
    }
    if (optind < argc) return failed(std::string("unexpected argument '") + argv[optind] + "'");
    if (history && mode_given) return failed("--history plays no match: give it without a mode");
    if (history) options.outcome = Outcome::history;
    return options;
}

void print_usage(std::FILE* to) {
    std::fputs(
        "Usage: taja-duel [--host | --join ADDRESS | --practice [SPEED]] [--port PORT]\n"
        "                 [--no-history] [--no-music] [--no-port-mapping]\n"
        "       taja-duel --history\n"
        "A two-player Korean typing duel for the terminal. With no option the game\n"
        "starts at its menu.\n"
        "\n"
        "  --host              host a match at once: wait for the other player on\n"
        "                      TCP port 8080\n"
        "  --join ADDRESS      join the match hosted at ADDRESS at once: a name, an\n"
        "                      IPv4 or IPv6 address, with :PORT when not 8080\n"
        "                      (friend.example, 192.168.0.12:9090, [::1]:9090)\n"
        "  --practice [SPEED]  play alone against a practice rival that types SPEED\n"
        "                      keystrokes a minute, as the result line counts them\n"
        "                      (50 to 1000; by default the speed practised last in\n"
        "                      this run, else the player's recent level, or 200)\n"
        "  --no-history        do not record the matches played\n"
        "  --no-music          play no music\n"
        "  --history           show the record of past matches and exit\n"
        "  --port PORT         host on TCP port PORT (1 to 65535, default 8080)\n"
        "  --no-port-mapping   do not ask the router to open the hosting port to the\n"
        "                      internet (by PCP, NAT-PMP or UPnP, which the host\n"
        "                      does by itself, showing the address a friend\n"
        "                      elsewhere types, and closes when hosting ends)\n"
        "  -h, --help          show this help and exit\n"
        "  -V, --version       show the version and exit\n"
        "\n"
        "Keys: in the menu, Up and Down move, Space or Enter chooses, p practises,\n"
        "q or Esc ends. Esc leaves a wait or the address prompt for the menu; in a\n"
        "match Esc asks, and Esc again leaves it. NO_COLOR set and not empty draws\n"
        "every text in the terminal's default colours.\n",
        to);
}

}  // namespace shell
