// Where the music on the desktop is looked for: the shell's desktop folder
// first, which follows a desktop moved to OneDrive; %USERPROFILE%\Desktop
// only when the shell has no answer.
#include <gtest/gtest.h>
#include <windows.h>

#include "sound/desktop_win32.h"

namespace {

using sound::detail::desktop_folder;

TEST(Desktop, TheShellsFolderFirstThenTheProfilesDesktopElseNone) {
    auto says = [](const wchar_t* folder) { return [folder] { return std::wstring(folder); }; };
    EXPECT_EQ(desktop_folder(says(L"C:\\Users\\kim\\OneDrive\\Desktop"), says(L"C:\\Users\\kim")),
              L"C:\\Users\\kim\\OneDrive\\Desktop");
    EXPECT_EQ(desktop_folder(says(L""), says(L"C:\\Users\\kim")), L"C:\\Users\\kim\\Desktop");
    EXPECT_EQ(desktop_folder(says(L""), says(L"")), L"");
}

TEST(Desktop, TheShellAnswersWithoutTheProfileVariable) {
    wchar_t profile[MAX_PATH];
    DWORD n = ::GetEnvironmentVariableW(L"USERPROFILE", profile, MAX_PATH);
    ASSERT_TRUE(n > 0 && n < MAX_PATH);
    ::SetEnvironmentVariableW(L"USERPROFILE", nullptr);
    const std::wstring folder = desktop_folder();
    ::SetEnvironmentVariableW(L"USERPROFILE", profile);
    ASSERT_GE(folder.size(), 7u);
    EXPECT_EQ(folder.substr(folder.size() - 7), L"Desktop");
}

}  // namespace
