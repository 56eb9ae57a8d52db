// The whole game: real taja-duel processes in pseudo-terminals, hosting and
// joining over 127.0.0.1:8080, or facing a raw peer (a socket of the test's
// own speaking the one-byte wire format). A scripted player reads the words
// from its own screen and types them.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "support/duel_game.h"
#include "support/peer_harness.h"
#include "support/pty_process.h"
#include "support/two_set.h"

namespace {

using namespace taja::test;
using taja::test::terminal_full;
using taja::test::VtScreen;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::size_t entries(const std::string& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
    return n;
}

class Duel : public ::testing::Test {
  protected:
    Home home;
};

// --- Tests -------------------------------------------------------------------

TEST_F(Duel, TwoProgramsConnectPlayToTheEndAndPlayAgain) {
    Game host(home);
    Game join(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    join.join();
    join.type("127.0.0.1");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return s.text(kFieldX, 25, 9) == "127.0.0.1" && s.cursor().x == kFieldX + 9;
    })) << join.dump();
    join.type("\r");

    // Both boards, and in the first match since start-up the very same one:
    // sea, block colours, rival name, target word and slot words.
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    host.proc().screen().with_screen([&](const VtScreen& h) {
        join.proc().screen().with_screen([&](const VtScreen& j) {
            for (int y = 0; y < 47; ++y) {
                EXPECT_EQ(h.row(y), j.row(y)) << "row " << y;
                for (int x = 0; x < 169; ++x) {
                    if (h.cell(x, y).text.empty()) continue;
                    EXPECT_EQ(h.cell(x, y).fg, j.cell(x, y).fg) << "cell " << x << "," << y;
                }
            }
            EXPECT_FALSE(trim(h.text(150, 2, 13)).empty()) << "a rival name";
            EXPECT_TRUE(h.row(25).empty()) << "the waiting text is gone";
            EXPECT_TRUE(j.row(25).empty()) << "the prompt is gone";
        });
    });

    // A slot word raises the typist's tower and the other's rival tower.
    join.type_slot_word(2);
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host.dump();
    // The target word knocks a block off on both screens.
    join.type_target_word();
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return own_tower(s) == 2; })) << host.dump();
    EXPECT_EQ(join.look(score), "20");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return score(s) == "-10"; })) << host.dump();

    // Eight more slot words: twelve blocks win.
    for (int i = 0; i < 8; ++i) join.type_slot_word(i % 5);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return result_shown(s, "Player   WIN!"); }))
        << join.dump();
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return result_shown(s, "Player   LOSE!"); }))
        << host.dump();
    const auto ended = Clock::now();

    // Three seconds later: the host waits again, the joiner is asked again.
    ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
    ASSERT_TRUE(
        join.wait_for([](const VtScreen& s) { return prompted_with(s, "127.0.0.1"); }, kMatchEnd))
        << join.dump();
    EXPECT_GE(Clock::now() - ended, 2500ms);
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return only_row_25(s, std::string(kPrompt) + "127.0.0.1");
    })) << join.dump();

    join.type("\r");  // the address typed last
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    // The winning joiner kept its 100 points; the host starts from 0.
    join.type_slot_word(0);
    EXPECT_EQ(join.look(score), "110");
    host.type_slot_word(4);
    EXPECT_EQ(host.look(score), "10");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << join.dump();
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host.dump();
}

TEST_F(Duel, RawPeerEventsReachTheHostsBoardAndItsWordsReachThePeer) {
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();

    taja::test::send_raw(peer.fd(), "u");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host.dump();
    taja::test::send_raw(peer.fd(), "c");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return own_tower(s) == 2; })) << host.dump();
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return score(s) == "-10"; })) << host.dump();

    // Other bytes do nothing: only the "u" after them counts.
    taja::test::send_raw(peer.fd(), std::string("xC\0U!", 5));
    taja::test::send_raw(peer.fd(), "u");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 5; }))
        << host.dump();
    host.proc().screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(own_tower(s), 2);
        EXPECT_EQ(score(s), "-10");
    });

    // What the host's player types crosses the wire as one byte per word.
    host.type_slot_word(1);
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    host.type_target_word();
    EXPECT_EQ(read_byte(peer.fd()), 'c');
    EXPECT_EQ(read_byte(peer.fd(), 200ms), std::nullopt);
}

TEST_F(Duel, ARivalWhoLeavesMidMatchLosesAndTheHostTakesTheNextJoiner) {
    struct Leaving {
        const char* name;
        void (*leave)(net::Socket&);
    };
    Game host(home);
    host.host();
    for (Leaving leaving : {
             Leaving{"closes", [](net::Socket& s) { s = net::Socket(); }},
             Leaving{"resets", taja::test::close_with_reset},
             Leaving{"half-closes", [](net::Socket& s) { ::shutdown(s.fd(), SHUT_WR); }},
         }) {
        SCOPED_TRACE(leaving.name);
        ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
        net::Socket peer = connect_raw();
        ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
        leaving.leave(peer);
        ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   WIN!") && s.text(84, 12, 25) == kRivalLeft;
        })) << host.dump();
    }
    // And the host is still there for the next joiner, who plays.
    ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    taja::test::send_raw(peer.fd(), "u");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host.dump();
}

TEST_F(Duel, EventsApplyInWireOrderAndAWordCrossingTheWinReachesNoLaterMatch) {
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    {
        net::Socket peer = connect_raw();
        ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
        // Eight raises bring the rival to 11; the knock that comes next costs
        // a block before the raise behind it wins. The last knock crosses the
        // win on the wire.
        taja::test::send_raw(peer.fd(), "uuuuuuuucuc");
        ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   LOSE!");
        })) << host.dump();
        host.proc().screen().with_screen([](const VtScreen& s) {
            EXPECT_EQ(rival_tower(s), 12);
            EXPECT_EQ(own_tower(s), 2);
        });
    }
    ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    taja::test::send_raw(peer.fd(), "u");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host.dump();
    host.proc().screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(own_tower(s), 3);
        EXPECT_EQ(score(s), "") << "no score change yet";
    });
}

TEST_F(Duel, HostWaitsForAHeldPortToBeFreedAndNeverPlaysAlone) {
    net::Socket held;
    ASSERT_NO_FATAL_FAILURE(hold_port_8080(held, 1));

    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.row(27) == at_cell_80(kPortInUse);
    })) << host.dump();
    // It keeps trying, and keeps saying why, without a match.
    // (The pump looks again whenever output arrives: a second look means the
    // reason was drawn again.)
    int looks = 0;
    ASSERT_TRUE(host.wait_for([&](const VtScreen&) { return ++looks > 1; }, 5s));
    host.proc().screen().with_screen([](const VtScreen& s) {
        EXPECT_TRUE(s.row(25).empty()) << s.dump();
        EXPECT_EQ(s.row(27), at_cell_80(kPortInUse));
        EXPECT_EQ(s.text(54, 37, 8), "        ");
    });

    const auto freed = Clock::now();
    held = net::Socket();
    ASSERT_TRUE(host.wait_for(waiting, 5s)) << host.dump();
    EXPECT_LT(Clock::now() - freed, 2500ms);
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    EXPECT_EQ(host.proc().screen().output().find("[player]"),
              host.proc().screen().output().rfind("[player]"))
        << "one board, for the one connection";
}

TEST_F(Duel, JoinerIsAskedAgainUntilAnAddressAnswers) {
    Game join(home);
    join.join();
    // Asked again with the line typed last in the field and the cursor after
    // the end of it that fits. Each reason differs from the one before, so
    // the screen tells the failure has been shown, and keys typed after it
    // are the next line's (keys typed while a connect waits are dropped).
    auto enter_and_be_asked_again_because = [&](const char* reason, const std::string& line) {
        join.type("\r");
        const std::string shown =
            line.substr(line.size() - std::min<std::size_t>(line.size(), kFieldWidth));
        return join.wait_for([&](const VtScreen& s) {
            return s.row(25) == at_cell_80(kPrompt + shown) && s.row(27) == at_cell_80(reason) &&
                   s.cursor().x == kFieldX + static_cast<int>(shown.size()) && s.cursor().y == 25;
        });
    };
    // Backspace over the line typed last, then the next one.
    auto retype = [&](const std::string& last, const std::string& line) {
        join.type(std::string(last.size(), '\x7f') + line);
        return join.wait_for([&](const VtScreen& s) {
            return s.cursor().x ==
                   kFieldX + std::min<int>(static_cast<int>(line.size()), kFieldWidth);
        });
    };

    ASSERT_TRUE(enter_and_be_asked_again_because(kNotAnAddress, "")) << join.dump();
    ASSERT_TRUE(retype("", "127.0.0.1")) << join.dump();  // nobody listens on port 8080
    ASSERT_TRUE(enter_and_be_asked_again_because(kRefused, "127.0.0.1")) << join.dump();
    ASSERT_TRUE(retype("127.0.0.1", "a#c")) << join.dump();
    ASSERT_TRUE(enter_and_be_asked_again_because(kNotAnAddress, "a#c")) << join.dump();
    ASSERT_TRUE(retype("a#c", "127.0.0.1:70000")) << join.dump();
    ASSERT_TRUE(enter_and_be_asked_again_because(kPortOutOfRange, "127.0.0.1:70000"))
        << join.dump();
    // Too long to be an address: no connect is tried.
    const std::string ones(200, '1');
    ASSERT_TRUE(retype("127.0.0.1:70000", ones)) << join.dump();
    ASSERT_TRUE(enter_and_be_asked_again_because(kNotAnAddress, ones)) << join.dump();
    EXPECT_EQ(join.proc().screen().output().find("[player]"), std::string::npos)
        << "no match without a peer";

    // And once a host is there, that address plays.
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    ASSERT_TRUE(retype(ones, "127.0.0.1")) << join.dump();
    join.type("\r");
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
}

TEST_F(Duel, EscGivesUpAConnectThatHangsAndTheAddressIsAskedAgain) {
    // A listener that never accepts, its queue full: a further connect gets
    // no answer and waits.
    net::Socket held;
    ASSERT_NO_FATAL_FAILURE(hold_port_8080(held, 0));
    const sockaddr_in addr = loopback_8080();
    std::vector<net::Socket> queued;
    for (int i = 0; i < 3; ++i) {
        queued.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::connect(queued.back().fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    }

    Game join(home);
    join.join();
    join.type("127.0.0.1\r");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return s.row(27) == at_cell_80(kConnecting);
    })) << join.dump();
    join.type("abc");  // for no one: dropped
    join.type("\x1b");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) {
        return prompted_with(s, "127.0.0.1") && s.row(27).empty();
    })) << join.dump();
    join.type(
        "\x7f"
        "2");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return prompted_with(s, "127.0.0.2"); }))
        << join.dump();
}

// Slot words that are not the target word, left to right.
std::vector<std::string> plain_slot_words(Game& game) {
    std::vector<std::string> words;
    game.proc().screen().with_screen([&](const VtScreen& s) {
        for (int k = 0; k < 5; ++k) {
            if (slot_word(s, k) != target_word(s)) words.push_back(slot_word(s, k));
        }
    });
    return words;
}

TEST_F(Duel, LetterKeysComposeTheWordsWithoutAnInputMethod) {
    using taja::test::two_set_keys;
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();

    // The syllable being composed stands at the cursor; Backspace in the
    // middle of it takes one jamo.
    host.type("dkssu");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.text(84, 48, 4) == "안녀" && s.cursor().x == 88 && s.cursor().y == 48;
    })) << host.dump();
    host.type("\x7f");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.text(84, 48, 4) == "안ㄴ" && s.cursor().x == 88;
    })) << host.dump();
    host.type("\x7f\x7f");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return trim(s.text(84, 48, 15)).empty() && s.cursor().x == 84;
    })) << host.dump();

    // A slot word and the target word, as keystrokes.
    host.type(two_set_keys(plain_slot_words(host).front()) + "\r");
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return own_tower(s) == 4; })) << host.dump();
    host.type(two_set_keys(host.look(target_word)) + "\r");
    EXPECT_EQ(read_byte(peer.fd()), 'c');
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return rival_tower(s) == 2 && !target_word(s).empty();
    })) << host.dump();

    // Two words on one line: both as keystrokes, then one as keystrokes and
    // one as text from an input method.
    std::vector<std::string> words = plain_slot_words(host);
    ASSERT_GE(words.size(), 4u);
    host.type(two_set_keys(words[0]) + " " + two_set_keys(words[1]) + "\r");
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    host.type(two_set_keys(words[2]) + " " + words[3] + "\r");
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return own_tower(s) == 8; })) << host.dump();
}

// The program's writes to its terminal, one by one: the start-up with the
// menu, and a fresh board, each in a handful; a rival's event in one, and a
// typed word's Enter (its syllable committed, the tower, the field blanked)
// in one.
TEST_F(Duel, TheMenuAndABoardTakeAHandfulOfWritesAndAnEventOrAWordOne) {
    Game host(home, true);
    host.host();
    auto writes = [&] { return host.proc().screen().reads(); };
    EXPECT_LE(writes(), 5) << "start-up and menu";
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    int mark = writes();
    net::Socket peer = connect_raw();
    auto field_ready = [](const VtScreen& s) {
        return match_running(s) && s.cursor().x == 84 && s.cursor().y == 48;
    };
    ASSERT_TRUE(host.wait_for(field_ready)) << host.dump();
    EXPECT_LE(writes() - mark, 5) << "a fresh board";

    mark = writes();
    taja::test::send_raw(peer.fd(), "u");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }));
    EXPECT_EQ(writes() - mark, 1) << "a raise";
    mark = writes();
    taja::test::send_raw(peer.fd(), "c");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) { return own_tower(s) == 2; }));
    EXPECT_EQ(writes() - mark, 1) << "a knock";

    const std::string word = plain_slot_words(host).front();
    host.type(two_set_keys(word));
    ASSERT_TRUE(host.wait_for([&](const VtScreen& s) { return trim(s.text(84, 48, 15)) == word; }))
        << host.dump();
    mark = writes();
    host.type("\r");
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return own_tower(s) == 3 && trim(s.text(84, 48, 15)).empty() && s.cursor().x == 84;
    })) << host.dump();
    EXPECT_EQ(writes() - mark, 1) << "a typed word";

    mark = writes();
    taja::test::send_raw(peer.fd(), "uuc");  // read at once: one write for the three
    ASSERT_TRUE(
        host.wait_for([](const VtScreen& s) { return rival_tower(s) == 6 && own_tower(s) == 2; }));
    EXPECT_EQ(writes() - mark, 1) << "three events in one segment";
}

// How many threads the process runs.
int threads_of(pid_t pid) {
    int n = 0;
    DIR* d = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
    if (d == nullptr) return -1;
    while (const dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
    return n;
}

// ThreadSanitizer's runtime runs a thread of its own in the program it
// watches, from the program's first thread on.
#if defined(__SANITIZE_THREAD__)
constexpr int kSanitizerThreads = 1;
#else
constexpr int kSanitizerThreads = 0;
#endif

// The match runs on one thread (no sound device here), and a terminal that
// reads nothing for five seconds holds up neither the wire nor the way to
// the next match.
TEST_F(Duel, OneThreadPlaysAndAStalledTerminalHoldsUpNothing) {
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    EXPECT_LE(threads_of(host.proc().pid()), 2 + kSanitizerThreads);
    taja::test::send_raw(peer.fd(), "uuc");
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return rival_tower(s) == 5 && own_tower(s) == 2;
    })) << host.dump();

    // The terminal stops reading, and resizes fill it.
    host.proc().screen().pause();
    const auto stalled = Clock::now();
    for (int i = 0; !terminal_full(host.proc().pid()) && Clock::now() - stalled < 5s; ++i)
        host.proc().resize(i % 2 ? 169 : 168, 50);
    host.proc().resize(169, 50);
    ASSERT_TRUE(terminal_full(host.proc().pid()));
    // A greeting and seven raises: the rival's twelfth block. The host
    // answers the greeting and gives its verdict, and closes after the
    // result's three seconds, all while its terminal reads nothing.
    taja::test::send_raw(peer.fd(), "huuuuuuu");
    EXPECT_EQ(read_byte(peer.fd()), 'h');
    EXPECT_EQ(read_byte(peer.fd()), 'l') << "the host lost";
    peer = net::Socket();
    ASSERT_GE(Clock::now() - stalled, 0s);
    std::this_thread::sleep_for(5s - (Clock::now() - stalled));
    net::Socket next = connect_raw();
    EXPECT_EQ(read_byte(next.fd(), 200ms), std::nullopt) << "a new match, silent";
    // What the terminal was not given meanwhile is caught up with: the
    // next joiner's board, whole, with no result left over.
    host.proc().screen().resume();
    EXPECT_TRUE(host.wait_for([](const VtScreen& s) {
        return match_running(s) && rival_tower(s) == 3 && own_tower(s) == 3 && s.row(10).empty();
    })) << host.dump();
}

// A resize while a syllable is being composed brings it back as it stood:
// underlined, at the cursor.
TEST_F(Duel, TheSyllableBeingComposedComesBackUnderlinedAfterAResize) {
    Game host(home);
    host.host();
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket peer = connect_raw();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
    host.type("dkr");  // 악, still being composed
    auto composing = [](const VtScreen& s) {
        return s.text(84, 48, 2) == "악" && s.cell(84, 48).underline && s.cursor().x == 86 &&
               s.cursor().y == 48;
    };
    ASSERT_TRUE(host.wait_for(composing)) << host.dump();
    host.proc().resize(80, 24);
    ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
        return s.row(1).find("80x24") != std::string::npos;
    })) << host.dump();
    host.proc().resize(169, 50);
    EXPECT_TRUE(host.wait_for(composing)) << host.dump();
}

// Every cell that shows something, with its colour, row by row.
std::vector<std::string> picture(const VtScreen& s) {
    std::vector<std::string> rows;
    for (int y = 0; y < s.rows(); ++y) {
        std::string row;
        for (int x = 0; x < s.cols(); ++x) {
            const taja::test::Cell c = s.cell(x, y);
            if (c.text.empty() || c.text == " ") continue;
            row += std::to_string(x) + ":" + c.text + ":" + std::to_string(c.fg) + " ";
        }
        rows.push_back(row);
    }
    return rows;
}

// A host's first board after its player has typed one slot word, while
// the terminal is cut to 80x24 or at its full size. Both are the first
// board of a fresh program, so they are the same board.
std::vector<std::string> board_after_a_word(const Home& home, bool cut) {
    Game host(home);
    host.host();
    EXPECT_TRUE(host.wait_for(waiting)) << host.dump();
    net::Socket peer = connect_raw();
    EXPECT_TRUE(host.wait_for(match_running)) << host.dump();
    std::string word = host.look([](const VtScreen& s) {
        return slot_word(s, 0) == target_word(s) ? slot_word(s, 1) : slot_word(s, 0);
    });
    if (cut) {
        host.proc().resize(80, 24);
        EXPECT_TRUE(host.wait_for([](const VtScreen& s) {
            return s.row(0).find("169x50") != std::string::npos &&
                   s.row(1).find("80x24") != std::string::npos;
        })) << host.dump();
    }
    host.type(word + "\r");
    // The raise it sent says the word has been taken, and drawn.
    EXPECT_EQ(read_byte(peer.fd()), 'u');
    if (cut) host.proc().resize(169, 50);
    // The word drawn, the field empty again for the next one, and the board
    // whole down to its last row.
    EXPECT_TRUE(host.wait_for([](const VtScreen& s) {
        return own_tower(s) == 4 && score(s) == "10" && trim(s.text(84, 48, 36)).empty() &&
               !s.row(49).empty() && s.cursor().x == 84 && s.cursor().y == 48;
    })) << host.dump();
    std::vector<std::string> rows;
    host.proc().screen().with_screen([&](const VtScreen& s) { rows = picture(s); });
    return rows;
}

TEST_F(Duel, ABoardCutByASmallTerminalComesBackWholeWithWhatHappenedMeanwhile) {
    const std::vector<std::string> never_cut = board_after_a_word(home, false);
    const std::vector<std::string> cut = board_after_a_word(home, true);
    ASSERT_EQ(cut.size(), never_cut.size());
    for (std::size_t y = 0; y < cut.size(); ++y) EXPECT_EQ(cut[y], never_cut[y]) << "row " << y;
}

// Match after match, the host's threads and descriptors stay as they were
// after the first: every pass's receiver, reader and sockets are gone. The
// raw peer ends each match at once with nine raise events; each match still
// stands three seconds at its end. Anything a match left behind would show
// six times over the six matches after the count is taken, which keeps the
// test to about half a minute.
TEST_F(Duel, MatchAfterMatchLeavesNoThreadOrDescriptorBehind) {
    constexpr int kMatches = 8;
    Game host(home);
    host.host();
    const std::string proc = "/proc/" + std::to_string(host.proc().pid());
    std::size_t threads = 0;
    std::size_t fds = 0;
    for (int match = 1; match <= kMatches; ++match) {
        ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << "match " << match << "\n" << host.dump();
        if (match == 2) {
            // From the second wait on, everything that lives for the program
            // (the audio device opened by the first match) is there.
            threads = entries(proc + "/task");
            fds = entries(proc + "/fd");
        }
        net::Socket peer = connect_raw();
        ASSERT_TRUE(host.wait_for(match_running)) << "match " << match << "\n" << host.dump();
        taja::test::send_raw(peer.fd(), "uuuuuuuuu");
        ASSERT_TRUE(host.wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   LOSE!");
        })) << "match "
            << match << "\n"
            << host.dump();
    }
    ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
    EXPECT_EQ(entries(proc + "/task"), threads);
    EXPECT_EQ(entries(proc + "/fd"), fds);
}

// --- A link that goes dark ---------------------------------------------------

// Moves this test process, and every program it starts from here on, into a
// network namespace of its own with only its loopback up, where iptables
// can drop packets without touching anybody else's. Empty when it worked,
// else why not. (CTest runs each case in a process of its own.)
std::string enter_private_network() {
    if (::geteuid() != 0) return "needs root for a network namespace and iptables";
    if (std::system("iptables-legacy --version >/dev/null 2>&1") != 0) {
        return "iptables-legacy not found (Debian's iptables package)";
    }
    if (::unshare(CLONE_NEWNET) != 0) {
        return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    }
    net::Socket any(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq lo{};
    std::strcpy(lo.ifr_name, "lo");
    lo.ifr_flags = IFF_UP;
    if (::ioctl(any.fd(), SIOCSIFFLAGS, &lo) != 0) {
        return std::string("bringing lo up: ") + std::strerror(errno);
    }
    return "";
}

// Every packet on the loopback dropped, as when the rival's cable is pulled,
// or let through again. -w: other namespaces' iptables share one lock.
void drop_all_packets(bool drop) {
    ASSERT_EQ(std::system(drop ? "iptables-legacy -w -A INPUT -i lo -j DROP"
                               : "iptables-legacy -w -D INPUT -i lo -j DROP"),
              0);
}

// The two programs start inside the namespace, once it stands.
class DarkLink : public Duel {
  protected:
    void SetUp() override {
        if (std::string why = enter_private_network(); !why.empty()) GTEST_SKIP() << why;
        host.emplace(home);
        join.emplace(home);
        host->host();
        ASSERT_TRUE(host->wait_for(waiting)) << host->dump();
        join->join();
        join->type("127.0.0.1\r");
        ASSERT_TRUE(host->wait_for(match_running)) << host->dump();
        ASSERT_TRUE(join->wait_for(match_running)) << join->dump();
    }
    bool towers_agree() {
        return host->look_int(own_tower) == join->look_int(rival_tower) &&
               host->look_int(rival_tower) == join->look_int(own_tower);
    }

    std::optional<Game> host;
    std::optional<Game> join;
};

// No FIN, no RST, nothing at all: the joiner's word goes unacknowledged, the
// host only listens. Both take it for a leave and go on to their next pass.
TEST_F(DarkLink, APeerThatVanishesIsALeaveOnBothSidesWithinThirtySeconds) {
    const auto dark = Clock::now();
    ASSERT_NO_FATAL_FAILURE(drop_all_packets(true));
    join->type_slot_word(0);
    auto left = [](const VtScreen& s) {
        return result_shown(s, "Player   WIN!") && s.text(84, 12, 25) == kRivalLeft;
    };
    // The two notice a few seconds apart; the result stands three.
    auto join_left = std::async(std::launch::async, [&] { return join->wait_for(left, 30s); });
    ASSERT_TRUE(host->wait_for(left, 30s)) << host->dump();
    ASSERT_TRUE(join_left.get()) << join->dump();
    EXPECT_LT(Clock::now() - dark, 30s);
    ASSERT_TRUE(host->wait_for(waiting, kMatchEnd)) << host->dump();
    ASSERT_TRUE(
        join->wait_for([](const VtScreen& s) { return prompted_with(s, "127.0.0.1"); }, kMatchEnd))
        << join->dump();
}

// Five seconds dark with a word in flight each way, then half a minute of
// silence (the probes are answered): nothing is lost and the match goes on.
TEST_F(DarkLink, ALinkThatStallsAndComesBackAndAQuietRivalLoseNothing) {
    ASSERT_NO_FATAL_FAILURE(drop_all_packets(true));
    join->type_slot_word(0);
    host->type_slot_word(1);
    std::this_thread::sleep_for(5s);
    ASSERT_NO_FATAL_FAILURE(drop_all_packets(false));
    ASSERT_TRUE(host->wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << host->dump();
    ASSERT_TRUE(join->wait_for([](const VtScreen& s) { return rival_tower(s) == 4; }))
        << join->dump();

    std::this_thread::sleep_for(30s);
    join->type_target_word();
    ASSERT_TRUE(host->wait_for([](const VtScreen& s) { return own_tower(s) == 3; }))
        << host->dump();
    EXPECT_TRUE(towers_agree()) << host->dump() << join->dump();
    EXPECT_NE(host->look([](const VtScreen& s) { return s.text(84, 12, 25); }), kRivalLeft);
}

// --- Practice, and joining from the command line ------------------------------

// Alone against the practice rival, typing nothing: it knocks one block off
// (it knocks while the player's tower stands as high as its own), then
// raises its own tower one block at a time to twelve, and the player loses.
// The next match follows, with nothing listening on port 8080 all along.
TEST_F(Duel, PracticeWithNoKeyTypedLosesToTheRivalsTwelfthBlockAndPlaysAgain) {
    Game game(home, {"--practice", "1000"});
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return own_tower(s) == 2; })) << game.dump();
    for (int h = 4; h <= 12; ++h) {
        ASSERT_TRUE(game.wait_for([h](const VtScreen& s) {
            return rival_tower(s) == h && own_tower(s) == 2;
        })) << h
            << "\n"
            << game.dump();
    }
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return result_shown(s, "Player   LOSE!"); }))
        << game.dump();
    net::Socket probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in addr = loopback_8080();
    EXPECT_NE(::connect(probe.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_TRUE(game.wait_for(
        [](const VtScreen& s) { return match_running(s) && own_tower(s) == 3 && score(s).empty(); },
        kMatchEnd))
        << game.dump();
}

// The rival keeps its own picture of both towers from what the player's
// words send it: a raise brings the player level, so it knocks rather than
// raises; a knock takes its block, so it knocks again at 2 against 2.
TEST_F(Duel, PracticeWordsChangeBothTowersAndTheRivalPlaysOnWhatItWasSent) {
    Game game(home, {"--practice", "300"});
    ASSERT_TRUE(game.wait_for(match_running)) << game.dump();
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) { return own_tower(s) == 2; })) << game.dump();
    game.type_slot_word(0);
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return own_tower(s) != 3 || rival_tower(s) != 3;
    })) << game.dump();
    EXPECT_EQ(game.look_int(own_tower), 2);
    EXPECT_EQ(game.look_int(rival_tower), 3);
    game.type_target_word();
    ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
        return own_tower(s) != 2 || rival_tower(s) != 2;
    })) << game.dump();
    EXPECT_EQ(game.look_int(own_tower), 1);
    EXPECT_EQ(game.look_int(rival_tower), 2);
    EXPECT_EQ(game.look(score), "-10");  // three knocks, two words
}

// --join connects at once; after the match, and after a connect that
// failed, the prompt stands with the address typed last and Enter alone
// connects again.
TEST_F(Duel, JoinFromTheCommandLinePlaysWithoutThePromptAndEnterRejoins) {
    const auto prompted_with_address = [](const VtScreen& s) {
        return prompted_with(s, "127.0.0.1");
    };
    Game join(home, {"--join", "127.0.0.1"});
    ASSERT_TRUE(join.wait_for([&](const VtScreen& s) {
        return prompted_with_address(s) && s.row(27) == at_cell_80(kRefused);
    })) << join.dump();
    Game host(home, std::vector<std::string>{"--host"});
    ASSERT_TRUE(host.wait_for(waiting)) << host.dump();
    join.type("\r");
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();

    host.type_target_word();
    host.type_target_word();
    host.type(host.look(target_word) + "\r");
    ASSERT_TRUE(join.wait_for([](const VtScreen& s) { return result_shown(s, "Player   LOSE!"); }))
        << join.dump();
    ASSERT_TRUE(join.wait_for(prompted_with_address, kMatchEnd)) << join.dump();
    ASSERT_TRUE(host.wait_for(waiting, kMatchEnd)) << host.dump();
    join.type("\r");
    ASSERT_TRUE(join.wait_for(match_running)) << join.dump();
    ASSERT_TRUE(host.wait_for(match_running)) << host.dump();
}

// Eight practice matches, each won at once with three target words: the
// threads and descriptors while the eighth result stands are those while
// the second one stood. The match's own threads end as its result shows, at
// their own pace: what counts is what is left a second into the result.
TEST_F(Duel, PracticeMatchAfterMatchLeavesNoThreadOrDescriptorBehind) {
    constexpr int kMatches = 8;
    Game game(home, {"--practice", "50"});
    const std::string proc = "/proc/" + std::to_string(game.proc().pid());
    const auto counts = [&] {
        std::pair<std::size_t, std::size_t> least{SIZE_MAX, SIZE_MAX};
        for (auto until = Clock::now() + 1s; Clock::now() < until;) {
            least.first = std::min(least.first, entries(proc + "/task"));
            least.second = std::min(least.second, entries(proc + "/fd"));
            std::this_thread::sleep_for(50ms);
        }
        return least;
    };
    std::pair<std::size_t, std::size_t> second;
    for (int match = 1; match <= kMatches; ++match) {
        // A new board: no result over it.
        ASSERT_TRUE(game.wait_for(
            [](const VtScreen& s) { return match_running(s) && s.row(10).empty(); }, kMatchEnd))
            << match << "\n"
            << game.dump();
        game.type_target_word();
        game.type_target_word();
        game.type(game.look(target_word) + "\r");
        ASSERT_TRUE(game.wait_for([](const VtScreen& s) {
            return result_shown(s, "Player   WIN!");
        })) << match
            << "\n"
            << game.dump();
        if (match == 2) second = counts();
    }
    EXPECT_EQ(counts(), second);
}

}  // namespace
