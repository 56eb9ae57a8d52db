// A player's console for the tests under wine: writes two lines of its own
// into the console's screen buffer, runs taja-duel.exe (beside this program)
// in the same console, then writes its exit code below them. The screen
// the test reads stays as the console left it. Ctrl+C is the game's: this
// program stays for the exit code.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL WINAPI stay(DWORD event) { return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT; }

}  // namespace

int main() {
    ::SetConsoleCtrlHandler(stay, TRUE);
    std::printf("player's text, line 1\nplayer's text, line 2\n");
    std::fflush(stdout);

    wchar_t self[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 2;
    std::wstring game(self, n);
    game.erase(game.find_last_of(L"\\/") + 1);
    game += L"taja-duel.exe";
    std::wstring command = L"\"" + game + L"\"";
    STARTUPINFOW start{};
    start.cb = sizeof start;
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(game.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &start, &child)) {
        return 3;
    }
    ::WaitForSingleObject(child.hProcess, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(child.hProcess, &code);
    std::printf("exit code 0x%lx\n", static_cast<unsigned long>(code));
    return 0;
}
