// The player's desktop folder on Windows, where the music is looked for.
// For the Win32 files and their tests only.
#pragma once

#include <functional>
#include <string>

namespace sound::detail {

// A way to ask for a folder: the folder, or empty when there is no answer.
using FolderLookup = std::function<std::wstring()>;

// The desktop: what `known_folder` says first (the shell's own answer, which
// follows a desktop moved elsewhere, to OneDrive for one), else the Desktop
// folder in what `profile` says. Empty when neither answers.
std::wstring desktop_folder(const FolderLookup& known_folder, const FolderLookup& profile);

// desktop_folder with the shell's FOLDERID_Desktop and %USERPROFILE%.
std::wstring desktop_folder();

}  // namespace sound::detail
