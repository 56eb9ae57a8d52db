#include "shell/menu.h"

#include <cstdint>
#include <optional>

#include "console/console.h"
#include "console/keys.h"
#include "console/loop.h"

namespace shell {

namespace {

using console::Attr;
using console::print_at;

struct LogoLetter {
    int x;
    Attr attr;
    const char* rows[9];  // rows 11 to 19
};

// SERVER in six colours, nine rows high, cells 55 to 132.
constexpr LogoLetter kLogo[] = {
    {55,
     12,
     {"  ########", " #", "#", " #", "  ########", "          #", "           #   ",
      "          #   ", "  ########"}},
    {70, 14, {"########", "#", "#", "#", "#######", "#", "#", "#", "########"}},
    {82,
     10,
     {"#######", "#      #", "#       #", "#      #", "#######", "#     #", "#      #", "#       #",
      "#        #"}},
    {93,
     11,
     {"#               #", " #             #", "  #           #", "   #         #", "    #       #",
      "     #     #", "      #   #", "       # #", "        #"}},
    {112, 9, {"########", "#", "#", "#", "#######", "#", "#", "#", "########"}},
    {123,
     13,
     {"#######", "#      #", "#       #", "#      #", "#######", "#     #", "#      #", "#       #",
      "#        #"}},
};
constexpr int kLogoTop = 11;

constexpr int kFrameX = 84;
constexpr int kItemX = 86;

// " ┌────────────┐": a blank, a corner, twelve strokes, a corner (15 cells).
constexpr char kFrameTop[] =
    " \xA6\xA3\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xA1\xA6\xA1\xA6\xA4";
// " └────────────┘"
constexpr char kFrameBottom[] =
    " \xA6\xA6\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1\xA6\xA1"
    "\xA6\xA1\xA6\xA1\xA6\xA5";
constexpr char kEraser[] = "                ";  // 16 blanks, cells 84 to 99

constexpr char kItemHost[] = " \xBC\xAD\xB9\xF6 \xB8\xB8\xB5\xE9\xB1\xE2";  // " 서버 만들기"
constexpr char kItemJoin[] = "  \xBC\xAD\xB9\xF6 \xC1\xA2\xBC\xD3";         // "  서버 접속"
constexpr char kItemExit[] = "  E  X I  T";

// The keys of the menu, on row 31 under it, centred on the menu (61 cells):
// "위 아래: 이동   Space, Enter: 선택   p: 연습   q, Esc: 끝내기"
constexpr char kMenuKeys[] =
    "\xC0\xA7 \xBE\xC6\xB7\xA1: \xC0\xCC\xB5\xBF   Space, Enter: \xBC\xB1\xC5\xC3   p: "
    "\xBF\xAC\xBD\xC0   q, Esc: \xB3\xA1\xB3\xBB\xB1\xE2";
constexpr int kKeysX = 63;
constexpr int kKeysRow = 31;

int item_row(int selected) { return 21 + 2 * selected; }

void draw_menu() {
    console::DrawStep step;
    console::clear_screen();
    for (int row = 0; row < 9; ++row) {
        for (const LogoLetter& letter : kLogo) {
            console::set_color(letter.attr);
            print_at(letter.x, kLogoTop + row, letter.rows[row]);
        }
    }
    console::set_color(15);
    print_at(kFrameX, 22, kFrameTop);
    print_at(kFrameX, 24, kFrameBottom);
    console::set_color(13);
    print_at(kItemX, 23, kItemHost);
    console::set_color(11);
    print_at(kItemX, 25, kItemJoin);
    console::set_color(console::kGrey);
    print_at(kItemX, 27, kItemExit);
    print_at(kKeysX, kKeysRow, kMenuKeys);
}

}  // namespace

int main_menu() {
    draw_menu();
    console::KeyDecoder keys;
    int selected = 1;
    for (;;) {
        if (console::input_ended()) return kInputEnded;
        const auto pause = console::escape_deadline(keys.awaiting_escape());
        const console::Turn turn = console::next_turn(console::Keys::take, {}, pause);
        for (char c : turn.keys) keys.feed(static_cast<std::uint8_t>(c));
        if (turn.timed_out && keys.awaiting_escape()) keys.flush();
        console::DrawStep step;
        while (keys.has_key()) {
            const int key = keys.take_key();
            const int r = item_row(selected);
            if (key == console::kArrowDown && selected < 3) {
                ++selected;
                // The old bottom line becomes the new top line; only the old
                // top line goes.
                print_at(kFrameX, r - 1, kEraser);
                print_at(kFrameX, r + 1, kFrameTop);
                print_at(kFrameX, r + 3, kFrameBottom);
            } else if (key == console::kArrowUp && selected > 1) {
                --selected;
                print_at(kFrameX, r + 1, kEraser);
                print_at(kFrameX, r - 3, kFrameTop);
                print_at(kFrameX, r - 1, kFrameBottom);
            } else if (key == ' ' || key == '\r' || key == '\n') {
                return selected;
            } else if (key == 'q' || key == console::kEscapeKey) {
                return kExit;
            } else if (key == 'p') {
                return kPractice;
            }
        }
    }
}

}  // namespace shell
