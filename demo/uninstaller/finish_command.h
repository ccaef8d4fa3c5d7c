// The command line by which the uninstaller hands its work to a copy of
// itself in the temporary directory, so that the original UNINSTAL.EXE and
// its folder can be removed once the original has exited:
//
//   "<copy path>" /finish <process handle> "<title directory>" [/ELEVATED-CHILD]
//
// The handle (decimal) is an inherited handle on the original process; the
// copy waits for it to end before it deletes anything. /ELEVATED-CHILD: the
// original was started elevated by a launcher, which clears the screen
// saver setting of the user who started it; the copy leaves it alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace uninstaller {

// The private switch of an uninstaller its launcher started elevated.
constexpr char kElevatedChildSwitch[] = "/ELEVATED-CHILD";

struct FinishCommand {
  std::uintptr_t OriginalProcess = 0;
  std::string TitleDirectory;
  bool UserSettingsLeftToLauncher = false;
};

// The whole command line for CreateProcess (program path included).
std::string FormatFinishCommandLine(std::string_view copyPath, std::uintptr_t originalProcess,
                                    std::string_view titleDirectory, bool userSettingsLeftToLauncher = false);

// Reads the arguments (WinMain's command line, without the program path).
// False when they are not a finish command; an empty line means the user
// started the uninstaller.
bool ParseFinishCommand(std::string_view arguments, FinishCommand* command);

}  // namespace uninstaller
