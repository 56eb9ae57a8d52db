#include "shell/modes.h"

#include "console/console.h"
#include "console/keys.h"

namespace shell {

namespace {

// Until duels can be played over the network, both modes say so plainly and
// go back to the menu on any key.
void not_yet_available() {
    console::clear_screen();
    {
        console::DrawStep step;
        console::set_color(console::kGrey);
        console::set_cursor(60, 25);
        // 아직 준비되지 않은 기능입니다. 아무 키나 누르면 메뉴로 돌아갑니다.
        console::print_text(
            "\xBE\xC6\xC1\xF7 \xC1\xD8\xBA\xF1\xB5\xC7\xC1\xF6 \xBE\xCA\xC0\xBA \xB1\xE2\xB4\xC9"
            "\xC0\xD4\xB4\xCF\xB4\xD9. \xBE\xC6\xB9\xAB \xC5\xB0\xB3\xAA \xB4\xA9\xB8\xA3\xB8\xE9 "
            "\xB8\xDE\xB4\xBA\xB7\xCE \xB5\xB9\xBE\xC6\xB0\xA9\xB4\xCF\xB4\xD9.");
    }
    console::read_key();
}

}  // namespace

void run_host() { not_yet_available(); }
void run_join() { not_yet_available(); }

}  // namespace shell
