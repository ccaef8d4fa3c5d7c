// saverkit verify: installs an image of our installer program in a fresh
// stand-in machine and checks that every effect lies where an installer of
// this kind may write, that every installed file holds its entry's bytes,
// and (for our UNINSTAL.EXE) that uninstalling leaves the machine as it was.
// Host builds only (SAVERKIT_PREVIEW); its callback stores the exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace verify {

void AddVerifyCommand(CLI::App& app, int& exitStatus);

}  // namespace verify
