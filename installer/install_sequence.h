// The whole installation, from the first question to the start of the
// installed screen saver; run inside the main window's WM_CREATE.
#pragma once

namespace installer {

void RunInstallSequence();

}  // namespace installer
