// The screens of the connection steps, drawn on a pseudo-terminal and read
// back through a terminal emulator: the waiting text, the address prompt with
// its echo, and the reasons a step failed.
#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <optional>
#include <string>
#include <variant>

#include "console/console.h"
#include "net/host_join.h"
#include "support/endpoints.h"
#include "support/pty_process.h"

namespace {

using net::IpRead;
using net::LinkError;
using taja::test::PtyConsole;
using taja::test::VtScreen;
using namespace std::chrono_literals;

constexpr char kPrompt[] = "서버 IP를 입력하세요 : ";
constexpr int kFieldX = 103;     // 80 + the prompt's 23 cells
constexpr int kFieldWidth = 64;  // the longest address and the cursor

struct Typed {
    IpRead read;
    std::string ip;
};

class AddressPrompt : public ::testing::Test {
  protected:
    ~AddressPrompt() override {
        if (pending.valid() && pending.wait_for(0s) != std::future_status::ready) con.type("\r");
        if (pending.valid()) pending.wait();
    }

    // A read whose line starts as `last`, the address typed last.
    void start(std::string last = {}) {
        address = std::move(last);
        net::show_server_ip_prompt();
        pending = std::async(std::launch::async, [this] {
            std::string ip = "x";
            IpRead read = net::read_server_ip(address, ip, finder);
            return Typed{read, ip};
        });
    }

    Typed finish() {
        EXPECT_EQ(pending.wait_for(10s), std::future_status::ready);
        return pending.get();
    }

    bool field_shows(const std::string& text) {
        return con.screen().wait_for([&](const VtScreen& s) {
            return s.text(kFieldX, 25, kFieldWidth) ==
                       text + std::string(kFieldWidth - text.size(), ' ') &&
                   s.cursor().x == kFieldX + static_cast<int>(text.size()) && s.cursor().y == 25;
        });
    }

    PtyConsole con;
    net::HostFinder finder{net::Clock::now()};
    std::future<Typed> pending;
    std::string address;
};

TEST_F(AddressPrompt, EchoesBehindThePromptWithBackspaceAndStoresTheLine) {
    start();
    ASSERT_TRUE(con.screen().wait_text(80, 25, kPrompt)) << con.screen().dump();
    ASSERT_TRUE(field_shows(""));
    con.type("127.0.0.19");
    ASSERT_TRUE(field_shows("127.0.0.19")) << con.screen().dump();
    con.type("\x7f");  // Backspace
    ASSERT_TRUE(field_shows("127.0.0.1")) << con.screen().dump();
    con.type("\r");
    Typed typed = finish();
    EXPECT_EQ(typed.read, IpRead::line);
    EXPECT_EQ(typed.ip, "127.0.0.1");
}

TEST_F(AddressPrompt, StartsFromTheAddressTypedLastWithTheCursorAfterIt) {
    start("127.0.0.1");
    ASSERT_TRUE(field_shows("127.0.0.1")) << con.screen().dump();
    con.type("\r");
    EXPECT_EQ(finish().ip, "127.0.0.1");

    start(address);
    ASSERT_TRUE(field_shows("127.0.0.1")) << con.screen().dump();
    con.type("\x7f");
    con.type("2\r");
    EXPECT_EQ(finish().ip, "127.0.0.2");
    EXPECT_EQ(address, "127.0.0.2");
}

TEST_F(AddressPrompt, SixtyThreeBytesFitSixtyFourAreTooLongAndNeverStored) {
    const std::string longest = "[2001:db8:1234:5678:9abc:def0:1234:5678%interface0123456]:65535";
    ASSERT_EQ(longest.size(), 63u);
    start();
    con.type(longest + "\r");
    Typed typed = finish();
    EXPECT_EQ(typed.read, IpRead::line);
    EXPECT_EQ(typed.ip, longest);

    start();
    con.type(longest + "0\r");
    typed = finish();
    EXPECT_EQ(typed.read, IpRead::too_long);
    EXPECT_EQ(typed.ip, "");
}

TEST_F(AddressPrompt, TwoHundredCharactersStayInTheFieldAndAreTooLong) {
    start();
    std::string line;
    for (int i = 0; i < 200; ++i) line += static_cast<char>('0' + i % 10);
    con.type(line);
    // The field shows the last 64 characters, the cursor rests just after
    // it, and nothing spills past it.
    ASSERT_TRUE(field_shows(line.substr(200 - kFieldWidth))) << con.screen().dump();
    con.screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(s.text(kFieldX + kFieldWidth, 25, 169 - kFieldX - kFieldWidth),
                  std::string(169 - kFieldX - kFieldWidth, ' '));
        EXPECT_TRUE(s.row(26).empty());
    });
    con.type("\r");
    Typed typed = finish();
    EXPECT_EQ(typed.read, IpRead::too_long);
    EXPECT_EQ(typed.ip, "");
}

TEST_F(AddressPrompt, HangulIsStoredAsCp949AndIsNoAddress) {
    start();
    con.type("서버\r");
    Typed typed = finish();
    EXPECT_EQ(typed.read, IpRead::line);
    EXPECT_EQ(typed.ip, "\xBC\xAD\xB9\xF6");
    EXPECT_TRUE(std::holds_alternative<net::AddressError>(net::parse_address(typed.ip)));
}

TEST(ConnectionScreens, WaitingTextAndReasonsStandAtCell80) {
    PtyConsole con;
    net::show_waiting_text();
    ASSERT_TRUE(con.screen().wait_text(80, 25, "연결을 기다리는 중입니다.."))
        << con.screen().dump();

    struct Reason {
        LinkError error;
        int code;
        std::string text;
    };
    const Reason reasons[] = {
        {LinkError::port_in_use, 0,
         "포트 8080을 다른 프로그램이 쓰고 있습니다. 포트가 비면 바로 연결을 기다립니다."},
        {LinkError::refused, 0, "연결이 거부되었습니다. 그 주소에서 기다리는 서버가 없습니다."},
        {LinkError::no_answer, 0, "응답이 없습니다. 주소와 서버의 방화벽(포트 8080)을 확인하세요."},
        {LinkError::not_an_address, 0,
         "주소가 아닙니다. 예: 192.168.0.10, friend.example, [2001:db8::1]:9090"},
        {LinkError::name_not_found, 0, "그 이름의 주소를 찾지 못했습니다. 이름을 확인하세요."},
        {LinkError::no_ipv6_route, 0,
         "이 컴퓨터에는 IPv6 연결이 없습니다. IPv4 주소나 이름으로 해 보세요."},
        {LinkError::other, EMFILE, std::string("네트워크 오류: ") + std::strerror(EMFILE)},
    };
    for (const Reason& r : reasons) {
        net::Link link;
        link.error = r.error;
        link.code = r.code;
        net::show_link_error(link);
        // Each reason replaces the last one whole: the row holds it alone.
        ASSERT_TRUE(con.screen().wait_for([&](const VtScreen& s) {
            return s.row(27) == std::string(80, ' ') + r.text;
        })) << con.screen().dump();
    }
    net::clear_link_error();
    ASSERT_TRUE(con.screen().wait_for([](const VtScreen& s) { return s.row(27).empty(); }));
    con.screen().with_screen([](const VtScreen& s) {
        EXPECT_EQ(s.row(25), std::string(80, ' ') + "연결을 기다리는 중입니다..");
    });
}

// The router line says only what the router confirmed: an outside address
// that is private or shared (another NAT in between) is no address to give
// a friend, and an address not told is not made up.
TEST(ConnectionScreens, TheRouterLineClaimsNothingTheRouterDidNotConfirm) {
    PtyConsole con;
    const auto v4 = [](const char* text) { return taja::test::endpoint(text, 0).ip; };
    struct Case {
        std::optional<net::IpAddress> outside;
        std::string text;
    };
    const std::string behind = "인터넷: 라우터 바깥 주소가 사설/공유 주소라";
    const Case cases[] = {
        {v4("20.0.0.1"), "인터넷: 20.0.0.1:9090 (라우터에 NAT-PMP로 포트를 열었습니다)"},
        {v4("100.64.0.7"), behind},
        {v4("192.168.1.1"), behind},
        {std::nullopt, "인터넷: 라우터에 NAT-PMP로 포트 9090을 열었지만 바깥 주소는"},
    };
    for (const Case& c : cases) {
        net::PortMapping mapping;
        mapping.state = net::MappingState::open;
        mapping.method = net::MappingMethod::natpmp;
        mapping.outside_port = 9090;
        mapping.outside = c.outside;
        net::show_port_mapping(mapping, 9090);
        ASSERT_TRUE(con.screen().wait_for([&](const VtScreen& s) {
            return s.row(26).rfind(std::string(80, ' ') + c.text, 0) == 0;
        })) << c.text
            << "\n"
            << con.screen().dump();
    }
}

}  // namespace
