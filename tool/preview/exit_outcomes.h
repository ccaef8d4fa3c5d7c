// What the installer's and the uninstaller's exit codes mean for preview
// and verify (preview_run.cpp).
#pragma once

#include <string>

namespace preview {

// True for the installer's exit codes that are failures of the image (a
// file it could not write, a damaged image or title), not outcomes of the
// run (the user's answers, a short disk, a media type that cannot play).
bool InstallerFailed(int code);
// The meaning of an installer's exit code, for a message.
std::string InstallerExitMeaning(int code);
// True for the uninstaller's exit codes that are failures of what the image
// installed (something logged stayed, INSTALL.LOG damaged).
bool UninstallerFailed(int code);
std::string UninstallerExitMeaning(int code);

}  // namespace preview
