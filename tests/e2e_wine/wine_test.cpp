// The Windows build, taja-duel.exe, run by wine in a pseudo-terminal: wine's
// text console draws the program's console calls as terminal output, which
// the harness reads like any other screen. Run from `make test-windows`,
// which hands over the way to start it (TAJA_DUEL_WINE).
//
// Wine's console counts a Hangul syllable as one cell where a real Windows
// console, and the terminal reading wine's output, count two: everything
// right of Hangul on a row lands off by a cell per syllable. So these tests
// look only at ASCII and box-drawing cells left of any Hangul on their row
// (logo, frame, sea row, towers, "Player   WIN!"), never at Hangul positions.
// Wine also draws the console's light grey (7), its default colour, in the
// terminal's default colour.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "support/colours.h"
#include "support/home_router.h"
#include "support/pty_process.h"

namespace {

using taja::test::palette_of;
using taja::test::PtyProcess;
using taja::test::VtScreen;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Wine starts in a few seconds once its server runs; give it room.
constexpr auto kStart = 60s;
constexpr auto kStep = 20s;

std::string wine_duel() {
    const char* path = std::getenv("TAJA_DUEL_WINE");
    return path != nullptr ? path : "";
}

const char* const kLogoRows[] = {
    "  ########     ########    #######    #               #  ########   #######",
    " #             #           #      #    #             #   #          #      #",
    "#              #           #       #    #           #    #          #       #",
    " #             #           #      #      #         #     #          #      #",
    "  ########     #######     #######        #       #      #######    #######",
    "          #    #           #     #         #     #       #          #     #",
    "           #   #           #      #         #   #        #          #      #",
    "          #    #           #       #         # #         #          #       #",
    "  ########     ########    #        #         #          ########   #        #",
};

// A cell's colour as the console attribute's palette index.
int colour(const taja::test::Cell& c) { return c.fg == -1 ? palette_of(7) : c.fg; }

bool menu_shown(const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }

bool frame_at(const VtScreen& s, int top, int attr) {
    return s.text(85, top, 14) == "┌────────────┐" && s.text(85, top + 2, 14) == "└────────────┘" &&
           colour(s.cell(85, top)) == palette_of(attr) &&
           colour(s.cell(98, top + 2)) == palette_of(attr);
}

int tower(const VtScreen& s, int paren_x) {
    int h = 0;
    while (h < 12 && s.cell(paren_x, 35 - h).text == "(") ++h;
    return h;
}
int own_tower(const VtScreen& s) { return tower(s, 50); }
int rival_tower(const VtScreen& s) { return tower(s, 113); }
bool board_shown(const VtScreen& s) {
    return own_tower(s) == 3 && rival_tower(s) == 3 && s.text(54, 37, 8) == "[player]";
}
bool result_shown(const VtScreen& s, const std::string& result) {
    return s.text(84, 10, static_cast<int>(result.size())) == result;
}
std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

class Wine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(wine_duel().empty()) << "TAJA_DUEL_WINE names no way to start the exe";
    }
};

using WineMenu = Wine;

TEST_F(WineMenu, LogoAndFrameInTheirColoursFrameMovesThirdItemExitsWithZero) {
    PtyProcess game(wine_duel());
    ASSERT_TRUE(game.wait_for(menu_shown, kStart)) << game.dump();
    const int letter_x[] = {55, 70, 82, 93, 112, 123};
    const int letter_colour[] = {12, 14, 10, 11, 9, 13};
    game.screen().with_screen([&](const VtScreen& s) {
        for (int row = 0; row < 9; ++row) {
            EXPECT_EQ(trim(s.text(55, 11 + row, 78)), trim(kLogoRows[row])) << "row " << 11 + row;
            for (int x = 55; x < 133; ++x) {
                if (s.cell(x, 11 + row).text != "#") continue;
                int attr = 0;
                for (int l = 0; l < 6; ++l) {
                    if (x >= letter_x[l]) attr = letter_colour[l];
                }
                EXPECT_EQ(colour(s.cell(x, 11 + row)), palette_of(attr)) << x << "," << 11 + row;
            }
        }
        EXPECT_TRUE(frame_at(s, 22, 15)) << s.dump();
        EXPECT_EQ(colour(s.cell(88, 27)), palette_of(7));
    });
    game.type(taja::test::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); }, kStep))
        << game.dump();
    game.type(taja::test::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 26, 7); }, kStep))
        << game.dump();
    game.type(taja::test::kUp);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 24, 7); }, kStep))
        << game.dump();
    game.type(taja::test::kDown);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return frame_at(s, 26, 7); }, kStep))
        << game.dump();
    game.type(" ");
    ASSERT_TRUE(game.wait_exit(kStep));
    EXPECT_EQ(game.exit_code(), 0);
}

// The player's console around the game: two lines of its own before it, and
// the game's exit code below them once it has ended (player_console.exe).
std::string player_console() {
    const char* path = std::getenv("TAJA_PLAYER_CONSOLE_WINE");
    return path != nullptr ? path : "";
}
bool players_text_back(const VtScreen& s, const std::string& exit_code) {
    return s.text(0, 0, 21) == "player's text, line 1" &&
           s.text(0, 1, 21) == "player's text, line 2" &&
           trim(s.row(2)) == "exit code " + exit_code && trim(s.row(11)).empty();
}

using WineConsole = Wine;

// The game draws in a screen buffer of its own: however it ends, the
// player's buffer is active again, with its text and its cursor as before.
TEST_F(WineConsole, PlayersTextIsBackAfterTheExitItemAndAfterCtrlC) {
    ASSERT_FALSE(player_console().empty()) << "TAJA_PLAYER_CONSOLE_WINE is not set";
    const struct {
        std::string keys;
        std::string exit_code;
    } ways[] = {{std::string(taja::test::kDown) + std::string(taja::test::kDown) + " ", "0x0"},
                {std::string(taja::test::kCtrlC), "0xc000013a"}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.exit_code);
        PtyProcess console(player_console());
        ASSERT_TRUE(console.wait_for(menu_shown, kStart)) << console.dump();
        console.screen().with_screen(
            [](const VtScreen& s) { EXPECT_EQ(trim(s.row(0)), "") << s.dump(); });
        console.type(way.keys);
        ASSERT_TRUE(console.wait_for(
            [&](const VtScreen& s) { return players_text_back(s, way.exit_code); }, kStep))
            << console.dump();
        ASSERT_TRUE(console.wait_exit(kStep));
    }
}

// Wine's console, as Windows Terminal, cannot be made larger by the
// program: the buffer takes 169x50, the window stays as it is, and the game
// tells the player so from the window it has.
TEST_F(WineConsole, WindowSmallerThanTheBoardIsToldWhateverTheBuffer) {
    PtyProcess game(wine_duel(), 120, 40);
    ASSERT_TRUE(game.wait_for(
        [](const VtScreen& s) {
            return s.row(0).find("169x50") != std::string::npos &&
                   s.row(1).find("120x40") != std::string::npos;
        },
        kStart))
        << game.dump();
    game.type(taja::test::kCtrlC);
    ASSERT_TRUE(game.wait_exit(kStep));
}

// The Linux build's player reads its own board and types what it shows.
class LinuxPlayer {
  public:
    explicit LinuxPlayer(const std::string& home)
        : proc(TAJA_DUEL_BIN, 169, 50, {{"HOME", home}, {"ALSA_CONFIG_PATH", "/dev/null"}}) {}

    std::string look(int x, int y, int n) {
        std::string out;
        proc.screen().with_screen([&](const VtScreen& s) { out = trim(s.text(x, y, n)); });
        return out;
    }
    int height(int (*which)(const VtScreen&)) {
        int h = 0;
        proc.screen().with_screen([&](const VtScreen& s) { h = which(s); });
        return h;
    }
    std::string target() { return look(117, 36 - height(rival_tower), 8); }
    // A slot word that is not also the target word (that one would knock).
    void type_slot_word(int k) {
        for (int i = 0; i < 5; ++i) {
            std::string word = look(39 + 24 * ((k + i) % 5), 42, 10);
            if (word != target()) {
                proc.type(word + "\r");
                return;
            }
        }
    }

    PtyProcess proc;
};

using WineDuel = Wine;

TEST_F(WineDuel, LinuxHostsWineJoinsBothBoardsAgreeEventsCrossTheMatchEndsAndAgain) {
    const fs::path home =
        fs::temp_directory_path() / ("taja-wine-home-" + std::to_string(::getpid()));
    fs::create_directories(home);
    LinuxPlayer host(home.string());
    PtyProcess join(wine_duel());

    ASSERT_TRUE(host.proc.wait_for(menu_shown)) << host.proc.dump();
    host.proc.type(" ");
    ASSERT_TRUE(join.wait_for(menu_shown, kStart)) << join.dump();
    auto prompted = [](const VtScreen& s) { return s.row(25).find("IP") != std::string::npos; };
    join.type(taja::test::kDown);
    join.type(" ");
    ASSERT_TRUE(join.wait_for(prompted, kStep)) << join.dump();
    join.type("127.0.0.1\r");

    ASSERT_TRUE(host.proc.wait_for(board_shown, kStep)) << host.proc.dump();
    ASSERT_TRUE(join.wait_for(board_shown, kStep)) << join.dump();
    // The first board since start-up is the same on both, from the one
    // random sequence: the sea row, and the blocks of both towers in their
    // colours (rows 33 to 36; the row of the Hangul target word, 33, only
    // left of the rival tower).
    host.proc.screen().with_screen([&](const VtScreen& h) {
        join.screen().with_screen([&](const VtScreen& j) {
            EXPECT_EQ(h.row(36), j.row(36)) << "the sea row";
            for (int y = 33; y <= 36; ++y) {
                for (int x = 0; x < (y == 33 ? 111 : 117); ++x) {
                    EXPECT_EQ(h.cell(x, y).text, j.cell(x, y).text) << x << "," << y;
                    if (h.cell(x, y).text.empty() || h.cell(x, y).text == " ") continue;
                    EXPECT_EQ(colour(h.cell(x, y)), colour(j.cell(x, y))) << x << "," << y;
                }
            }
        });
    });

    // Words typed on Linux raise the rival tower and knock the own tower on
    // the wine side.
    host.type_slot_word(0);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }, kStep))
        << join.dump();
    host.proc.type(host.target() + "\r");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return own_tower(s) == 2; }, kStep))
        << join.dump();
    for (int blocks = 5; blocks <= 12; ++blocks) {
        ASSERT_TRUE(host.proc.wait_for([&](const VtScreen& s) {
            return own_tower(s) == blocks - 1;
        })) << host.proc.dump();
        host.type_slot_word(blocks);
    }
    ASSERT_TRUE(host.proc.wait_for([](const VtScreen& s) {
        return result_shown(s, "Player   WIN!");
    })) << host.proc.dump();
    ASSERT_TRUE(
        join.wait_for([](const VtScreen& s) { return result_shown(s, "Player   LOSE!"); }, kStep))
        << join.dump();

    // The next pass: asked again with the address typed last, Enter alone
    // connects, and a new match on a new connection.
    ASSERT_TRUE(join.wait_for(
        [](const VtScreen& s) {
            return s.row(25).find("IP") != std::string::npos &&
                   s.row(25).find("127.0.0.1") != std::string::npos;
        },
        kStep))
        << join.dump();
    join.type("\r");
    ASSERT_TRUE(host.proc.wait_for(board_shown, kStep)) << host.proc.dump() << join.dump();
    ASSERT_TRUE(join.wait_for(board_shown, kStep)) << join.dump();
    host.type_slot_word(1);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }, kStep))
        << join.dump();
    fs::remove_all(home);
}

using WineFind = Wine;

// Whether this process's network namespace has loopback alone: one of its
// own, as make test-windows gives the tests, where a link may be added.
bool namespace_of_our_own() {
    FILE* p = ::popen("ip -o link show | grep -vc ': lo:'", "r");
    char count[16] = {};
    const bool read = p != nullptr && std::fgets(count, sizeof count, p) != nullptr;
    if (p != nullptr) ::pclose(p);
    return read && std::atoi(count) == 0;
}

// The wine side joins a Linux host on port 9090 by name, by IPv6 loopback
// address, and from the list of hosts its prompt hears on a link.
TEST_F(WineFind, JoinsByNameByIpv6WithAPortAndFromTheListOfLocalHosts) {
    ASSERT_TRUE(namespace_of_our_own()) << "run through make test-windows";
    ASSERT_EQ(std::system("ip link add taja-w0 type veth peer name taja-w1 && "
                          "ip addr add 10.9.8.7/24 dev taja-w0 && "
                          "ip link set taja-w0 up && ip link set taja-w1 up"),
              0);
    const fs::path home =
        fs::temp_directory_path() / ("taja-wine-find-" + std::to_string(::getpid()));
    fs::create_directories(home);
    {
        PtyProcess host(TAJA_DUEL_BIN, 169, 50,
                        {{"HOME", home.string()}, {"ALSA_CONFIG_PATH", "/dev/null"}}, false,
                        {"--host", "--port", "9090"});
        const auto waiting = [](const VtScreen& s) { return s.text(80, 25, 10).find("연결") == 0; };
        ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
        for (const char* address : {"localhost:9090", "[::1]:9090"}) {
            {
                PtyProcess join(wine_duel(), 169, 50, {}, false, {"--join", address});
                ASSERT_TRUE(join.wait_for(board_shown, kStart)) << address << "\n" << join.dump();
                ASSERT_TRUE(host.wait_for(board_shown, kStep)) << host.dump();
            }
            ASSERT_TRUE(host.wait_for(waiting, kStep)) << host.dump();
        }
        PtyProcess join(wine_duel());
        ASSERT_TRUE(join.wait_for(menu_shown, kStart)) << join.dump();
        join.type(taja::test::kDown);
        join.type(" ");
        ASSERT_TRUE(join.wait_for(
            [](const VtScreen& s) { return s.row(30).find(":9090  (") != std::string::npos; },
            kStep))
            << join.dump();
        join.type(taja::test::kDown);
        join.type("\r");
        ASSERT_TRUE(join.wait_for(board_shown, kStep)) << join.dump();
        ASSERT_TRUE(host.wait_for(board_shown, kStep)) << host.dump();
    }
    EXPECT_EQ(std::system("ip link del taja-w0"), 0);
    fs::remove_all(home);
}

// A wine prefix of the test's own, sharing the build prefix's drive C and
// starting from its registry. Wine's network services (the routing table
// behind GetIpForwardTable2) live with the prefix's server, in the network
// namespace of the first program run in it: a program in another namespace
// needs a prefix, and so a server, of its own.
class OwnPrefix {
  public:
    OwnPrefix()
        : dir_(fs::temp_directory_path() / ("taja-wine-prefix-" + std::to_string(::getpid()))) {
        const fs::path build = fs::path(wine_duel()).parent_path() / "wineprefix";
        fs::create_directories(dir_ / "dosdevices");
        for (const char* file : {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"}) {
            fs::copy_file(build / file, dir_ / file, fs::copy_options::overwrite_existing);
        }
        fs::create_directory_symlink(build / "drive_c", dir_ / "dosdevices" / "c:");
        fs::create_directory_symlink("/", dir_ / "dosdevices" / "z:");
    }
    ~OwnPrefix() {
        const std::string wine_run = (fs::path(wine_duel()).parent_path() / "wine-run").string();
        std::ignore = std::system(
            ("TAJA_WINEPREFIX='" + dir_.string() + "' '" + wine_run + "' wineserver -k").c_str());
        fs::remove_all(dir_);
    }
    OwnPrefix(const OwnPrefix&) = delete;
    OwnPrefix& operator=(const OwnPrefix&) = delete;

    std::map<std::string, std::string> env() const { return {{"TAJA_WINEPREFIX", dir_.string()}}; }

  private:
    fs::path dir_;
};

using WineRouter = Wine;

// Behind a home router that speaks UPnP alone, the Windows build opens its
// port through the system's UPnP NAT objects, and a friend outside plays
// through it; back at the menu, the host has taken the mapping away. (Wine's
// objects do not tell the router's outside address: the line says the port
// is open and that the address is not known.)
TEST_F(WineRouter, OpensItsPortThroughUpnpAFriendOutsidePlaysAndTheMenuClosesIt) {
    const OwnPrefix prefix;
    taja::test::RouterSetup upnp_only;
    upnp_only.natpmp = false;
    taja::test::HomeNetwork net(upnp_only);
    ASSERT_TRUE(net.ok()) << "namespaces, iptables-legacy and miniupnpd are needed";
    auto host = net.start(true, {"--host"}, wine_duel(), prefix.env());
    ASSERT_TRUE(host->wait_for(
        [](const VtScreen& s) {
            return s.row(26).find("UPnP") != std::string::npos &&
                   s.row(26).find("8080") != std::string::npos;
        },
        kStart))
        << host->dump();
    EXPECT_NE(net.forwardings().find("--dport 8080"), std::string::npos) << net.forwardings();
    auto joiner = net.start(false, {"--join", "20.0.0.1"});
    ASSERT_TRUE(joiner->wait_for(board_shown, kStep)) << joiner->dump();
    ASSERT_TRUE(host->wait_for(board_shown, kStep)) << host->dump();
    host->type("\x1b");
    ASSERT_TRUE(host->wait_for(
        [](const VtScreen& s) { return s.row(45).find("계속") != std::string::npos; }, kStep))
        << host->dump();
    host->type("\x1b");
    ASSERT_TRUE(host->wait_for(menu_shown, kStep)) << host->dump();
    EXPECT_EQ(net.forwardings().find("--dport 8080"), std::string::npos) << net.forwardings();
}

using WinePractice = Wine;

// The practice matches that `--history` counts in the prefix's history.
int practice_matches_recorded() {
    const std::string command = "'" + wine_duel() + "' --history";
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) return -1;
    int matches = 0;
    char line[512];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        std::sscanf(line, "  practice %d", &matches);
    }
    return ::pclose(p) == 0 ? matches : -1;
}

// Alone against the practice rival on its loopback connection, typing
// nothing: one block knocked off, the rival's tower up to twelve, the loss,
// and the next match. The match lost is in the history that `--history`
// reads.
TEST_F(WinePractice, WithNoKeyTypedTheRivalsTwelfthBlockWinsAndTheNextMatchStarts) {
    const int recorded = practice_matches_recorded();
    ASSERT_GE(recorded, 0);
    {
        PtyProcess game(wine_duel(), 169, 50, {}, false, {"--practice", "1000"});
        ASSERT_TRUE(game.wait_for(board_shown, kStart)) << game.dump();
        for (int h = 4; h <= 12; ++h) {
            ASSERT_TRUE(game.wait_for(
                [h](const VtScreen& s) { return rival_tower(s) == h && own_tower(s) == 2; }, kStep))
                << h << "\n"
                << game.dump();
        }
        ASSERT_TRUE(game.wait_for(
            [](const VtScreen& s) { return result_shown(s, "Player   LOSE!"); }, kStep))
            << game.dump();
        ASSERT_TRUE(game.wait_for(board_shown, kStep)) << game.dump();
    }  // the next match goes with the program
    EXPECT_EQ(practice_matches_recorded(), recorded + 1);
}

}  // namespace
