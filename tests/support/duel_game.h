// Real taja-duel processes in pseudo-terminals, and what a scripted player
// reads off their screens: the board, the towers, the words, the results.
// Also the raw side of the wire on 127.0.0.1:8080, for tests that play the
// peer themselves.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "net/socket.h"
#include "support/pty_process.h"

namespace taja::test {

using namespace std::chrono_literals;

inline constexpr char kWaiting[] = "연결을 기다리는 중입니다..";
inline constexpr char kPrompt[] = "서버 IP를 입력하세요 : ";
inline constexpr char kNotAnAddress[] =
    "주소가 아닙니다. 예: 192.168.0.10, friend.example, [2001:db8::1]:9090";
inline constexpr char kPortOutOfRange[] =
    "포트는 1부터 65535까지의 수입니다. 예: 192.168.0.10:9090";
inline constexpr char kRefused[] = "연결이 거부되었습니다. 그 주소에서 기다리는 서버가 없습니다.";
inline constexpr char kPortInUse[] =
    "포트 8080을 다른 프로그램이 쓰고 있습니다. 포트가 비면 바로 연결을 기다립니다.";
inline constexpr int kFieldX = 103;     // right behind the prompt
inline constexpr int kFieldWidth = 64;  // the longest address, and the cursor after it
inline constexpr char kConnecting[] = "연결하는 중...";
inline constexpr char kRivalLeft[] = "상대가 게임을 떠났습니다.";
// A match ends with its result standing three seconds.
inline constexpr auto kMatchEnd = 10s;

inline std::string trim(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// A row as VtScreen::row reads it: `text` from cell 80, no trailing blanks.
inline std::string at_cell_80(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return std::string(80, ' ') + text;
}

// --- What a player reads off the board ---------------------------------------

// A tower's height: its blocks' "(" stand in one column from row 35 upwards.
inline int tower(const VtScreen& s, int paren_x) {
    int h = 0;
    while (h < 12 && s.cell(paren_x, 35 - h).text == "(") ++h;
    return h;
}
inline int own_tower(const VtScreen& s) { return tower(s, 50); }
inline int rival_tower(const VtScreen& s) { return tower(s, 113); }

inline std::string slot_word(const VtScreen& s, int k) { return trim(s.text(39 + 24 * k, 42, 10)); }
inline std::string target_word(const VtScreen& s) {
    return trim(s.text(117, 36 - rival_tower(s), 8));
}
inline std::string score(const VtScreen& s) { return trim(s.text(93, 2, 8)); }

// The board stands and the match has dealt its words.
inline bool match_running(const VtScreen& s) {
    if (s.text(54, 37, 8) != "[player]" || target_word(s).empty()) return false;
    for (int k = 0; k < 5; ++k) {
        if (slot_word(s, k).empty()) return false;
    }
    return true;
}

inline bool only_row_25(const VtScreen& s, const std::string& text) {
    for (int y = 0; y < s.rows(); ++y) {
        if (y != 25 && !s.row(y).empty()) return false;
    }
    return s.row(25) == at_cell_80(text);
}

inline bool waiting(const VtScreen& s) { return only_row_25(s, kWaiting); }
inline bool prompted(const VtScreen& s) { return s.row(25) == at_cell_80(kPrompt); }
// The prompt with `address` (ASCII, up to 20 characters) in its field and
// the cursor after it: how it stands after a match or a failed connect.
inline bool prompted_with(const VtScreen& s, const std::string& address) {
    return s.row(25) == at_cell_80(kPrompt + address) && s.cursor().y == 25 &&
           s.cursor().x == kFieldX + static_cast<int>(address.size());
}
inline bool result_shown(const VtScreen& s, const char* result) {
    return s.text(84, 10, 14).substr(0, std::string(result).size()) == result;
}

// --- The programs ------------------------------------------------------------

// Music off: an empty home (no music file of the player's) and an ALSA
// configuration that names no sound device.
class Home {
  public:
    Home() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "taja-duel-home-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
        path_ = tmpl;
    }
    ~Home() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    // The program's environment in this home: its history in
    // <home>/state/taja-duel, no music.
    std::map<std::string, std::string> environment() const {
        return {{"HOME", path_},
                {"XDG_STATE_HOME", path_ + "/state"},
                {"ALSA_CONFIG_PATH", "/dev/null"}};
    }

  private:
    std::string path_;
};

class Game {
  public:
    // With `count_writes`, proc().screen().reads() counts the program's
    // writes to its terminal.
    explicit Game(const Home& home, bool count_writes = false)
        : proc_(TAJA_DUEL_BIN, 169, 50, home.environment(), count_writes) {}
    // The program started with the command-line arguments `args`.
    Game(const Home& home, std::vector<std::string> args)
        : proc_(TAJA_DUEL_BIN, 169, 50, home.environment(), false, std::move(args)) {}

    PtyProcess& proc() { return proc_; }
    bool wait_for(const std::function<bool(const VtScreen&)>& pred,
                  taja::test::Deadline deadline = taja::test::kDefaultDeadline) {
        return proc_.wait_for(pred, deadline);
    }
    std::string dump() { return proc_.dump(); }
    void type(std::string_view keys) { proc_.type(keys); }
    std::string look(const std::function<std::string(const VtScreen&)>& what) {
        std::string out;
        proc_.screen().with_screen([&](const VtScreen& s) { out = what(s); });
        return out;
    }
    int look_int(const std::function<int(const VtScreen&)>& what) {
        int out = 0;
        proc_.screen().with_screen([&](const VtScreen& s) { out = what(s); });
        return out;
    }

    void host() {
        ASSERT_TRUE(wait_for([](const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }))
            << dump();
        type(" ");
    }
    void join() {
        ASSERT_TRUE(wait_for([](const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }))
            << dump();
        type(taja::test::kDown);
        type(" ");
        ASSERT_TRUE(wait_for(prompted)) << dump();
    }

    // Types slot word k, read off the screen, and waits for the own tower to
    // grow. A slot word that is also the target word counts as the target
    // word, so the next slot to the right is typed then.
    void type_slot_word(int k) {
        const int before = look_int(own_tower);
        type(look([k](const VtScreen& s) {
                 for (int i = 0; i < 5; ++i) {
                     std::string word = slot_word(s, (k + i) % 5);
                     if (word != target_word(s)) return word;
                 }
                 return std::string("?");
             }) +
             "\r");
        ASSERT_TRUE(wait_for([&](const VtScreen& s) { return own_tower(s) == before + 1; }))
            << dump();
    }
    // Types the target word and waits for the rival's block to go and the
    // next target word to stand on the block below.
    void type_target_word() {
        const int before = look_int(rival_tower);
        type(look(target_word) + "\r");
        ASSERT_TRUE(wait_for([&](const VtScreen& s) {
            return rival_tower(s) == before - 1 && !target_word(s).empty();
        })) << dump();
    }

  private:
    PtyProcess proc_;
};

inline sockaddr_in loopback_8080() {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(8080);
    return addr;
}

// A socket of the test's own connected to the host on 127.0.0.1:8080.
inline net::Socket connect_raw() {
    net::Socket sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in addr = loopback_8080();
    EXPECT_EQ(::connect(sock.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    return sock;
}

// Port 8080 held by a listener of the test's own that never accepts.
// Close-on-exec: a game started after it must not inherit the port.
inline void hold_port_8080(net::Socket& held, int backlog) {
    held = net::Socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    int on = 1;
    ::setsockopt(held.fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in addr = loopback_8080();
    ASSERT_EQ(::bind(held.fd(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(held.fd(), backlog), 0);
}

// Reads one byte from `fd` within the deadline; nothing if none came.
inline std::optional<char> read_byte(int fd, std::chrono::milliseconds deadline = 5s) {
    timeval tv{static_cast<time_t>(deadline.count() / 1000),
               static_cast<suseconds_t>(deadline.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char byte;
    if (::recv(fd, &byte, 1, 0) != 1) return std::nullopt;
    return byte;
}

}  // namespace taja::test
