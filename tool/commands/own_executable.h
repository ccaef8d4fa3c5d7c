// Where the running saverkit program lies, so that it can find the installer
// program and uninstaller that were built or installed with it.
#pragma once

#include <filesystem>

namespace commands {

// The program's own file; empty when the system does not tell.
std::filesystem::path OwnExecutable();

}  // namespace commands
