// Where a program that the tool packs lies: the installer program and the
// uninstaller are found beside the tool, in the win32 build beside the host
// build, or in the installed data folder.
#pragma once

#include <filesystem>
#include <string>

namespace commands {

// `name` in `programDirectory` (the tool's folder; the win32 build holds
// both), else in "../win32/" from it (build/host/saverkit finds
// build/win32/installer.exe), else in "../share/saverkit/" from it
// (<prefix>/bin/saverkit, whatever the prefix). Empty when none of them is
// a regular file.
std::string FindBuildOutput(const std::filesystem::path& programDirectory, const char* name);

}  // namespace commands
