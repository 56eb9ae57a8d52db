// The game as a player installs it: this build installed with
// `cmake --install` into a folder of the test's own, under a prefix that
// nothing else uses, and the installed program run in a pseudo-terminal.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "net/socket.h"
#include "support/pty_process.h"

namespace {

namespace fs = std::filesystem;
using taja::test::PtyProcess;
using taja::test::VtScreen;

constexpr char kPrefix[] = "opt/taja-duel-install-test";

bool menu_shown(const VtScreen& s) { return s.text(88, 27, 9) == "E  X I  T"; }

// Whether what the program plays into the FIFO `fd` (16-bit samples) holds
// anything louder than a whisper: the music.
bool sound_written(int fd) {
    unsigned char bytes[4096];
    ssize_t n;
    while ((n = ::read(fd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i + 1 < n; i += 2) {
            auto sample = static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8);
            if (sample > 1000 || sample < -1000) return true;
        }
    }
    return false;
}

class Installed : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "taja-duel-install-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        fs::create_directory(home());
        // The default sound device writes what it plays into a FIFO the test reads.
        ASSERT_EQ(::mkfifo(sound().c_str(), 0600), 0);
        std::ofstream(alsa_config()) << "pcm.!default { type file slave.pcm { type null } file \""
                                     << sound().string() << "\" format raw }\n";
        std::string install =
            "DESTDIR='" + (dir_ / "root").string() +
            "' '" TAJA_CMAKE_COMMAND "' --install '" TAJA_BUILD_DIR "' --prefix /" +
            std::string(kPrefix) + " >'" + (dir_ / "install.log").string() + "' 2>&1";
        ASSERT_EQ(std::system(install.c_str()), 0) << "cmake --install failed, see " << dir_;
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }

    fs::path prefix() const { return dir_ / "root" / kPrefix; }
    fs::path home() const { return dir_ / "home"; }
    fs::path sound() const { return dir_ / "sound.fifo"; }
    fs::path alsa_config() const { return dir_ / "asound.conf"; }
    // The installed program, with a home that holds no music of its own and
    // ALSA writing what it plays into the FIFO.
    PtyProcess start() const {
        return PtyProcess(
            (prefix() / "games/taja-duel").string(), 169, 50,
            {{"HOME", home().string()}, {"ALSA_CONFIG_PATH", alsa_config().string()}});
    }

  private:
    fs::path dir_;
};

TEST_F(Installed, EverythingAtItsPlaceAndTheProgramFindsItsMusicAndExits) {
    for (const char* file : {"games/taja-duel", "share/taja-duel/music.wav",
                             "share/man/man6/taja-duel.6.gz", "share/doc/taja-duel/README.md"}) {
        EXPECT_TRUE(fs::is_regular_file(prefix() / file)) << file;
    }
    // Only the installed share folder can give the music: none beside the
    // program, none at home.
    ASSERT_FALSE(fs::exists(prefix() / "games/music.wav"));

    {
        PtyProcess game = start();
        ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
        game.type(" ");  // host: every match plays the music from its start
        ASSERT_TRUE(game.wait_text(80, 25, "연결을 기다리는 중입니다..")) << game.dump();
        net::Socket peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(8080);
        ASSERT_EQ(::connect(peer.fd(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_TRUE(game.wait_text(54, 37, "[player]")) << game.dump();
        // The screen keeps still while the music plays: listen to the FIFO.
        int fifo = ::open(sound().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fifo, 0);
        bool heard = false;
        auto end = std::chrono::steady_clock::now() + taja::test::kDefaultDeadline;
        while (!(heard = sound_written(fifo)) && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::close(fifo);
        EXPECT_TRUE(heard) << "the bundled music did not play";
    }

    PtyProcess game = start();
    ASSERT_TRUE(game.wait_for(menu_shown)) << game.dump();
    game.type(taja::test::kDown);
    game.type(taja::test::kDown);
    game.type(" ");
    ASSERT_TRUE(game.wait_exit());
    EXPECT_EQ(game.exit_code(), 0);
}

}  // namespace
