// saverkit preview: runs an installer image in the Win32 stand-in. Host
// builds only (SAVERKIT_PREVIEW); its callback stores the exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace preview {

void AddPreviewCommand(CLI::App& app, int& exitStatus);

}  // namespace preview
