// The command line by which the uninstaller hands its work to a copy of
// itself in the temporary directory, so that the original UNINSTAL.EXE and
// its folder can be removed once the original has exited:
//
//   "<copy path>" /finish <process handle> "<title directory>"
//
// The handle (decimal) is an inherited handle on the original process; the
// copy waits for it to end before it deletes anything.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace uninstaller {

struct FinishCommand {
  std::uintptr_t OriginalProcess = 0;
  std::string TitleDirectory;
};

// The whole command line for CreateProcess (program path included).
std::string FormatFinishCommandLine(std::string_view copyPath, std::uintptr_t originalProcess,
                                    std::string_view titleDirectory);

// Reads the arguments (WinMain's command line, without the program path).
// False when they are not a finish command; an empty line means the user
// started the uninstaller.
bool ParseFinishCommand(std::string_view arguments, FinishCommand* command);

}  // namespace uninstaller
