// The whole installation, from the first question to the start of the
// installed screen saver; run inside the main window's WM_CREATE. Returns
// the run's exit code (core/format/exit_codes.h).
#pragma once

namespace installer {

int RunInstallSequence();

}  // namespace installer
