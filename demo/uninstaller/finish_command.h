// The uninstaller's command lines. Started by the user (or by Windows from
// UninstallString or QuietUninstallString):
//
//   UNINSTAL.EXE [/S] [/?]      /S: remove without asking and without
//                               message boxes; /?: the switches in a box
//
// and the line by which it hands its work to a copy of itself in the
// temporary directory, so that its own file and folder can go too:
//
//   "<copy path>" /finish "<title directory>" [/S]
//
// The original waits for the copy and ends with the copy's exit code; the
// copy moves the original's file, which cannot be deleted while it runs,
// aside into the temporary directory (uninstaller_main.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace uninstaller {

struct FinishCommand {
  std::string TitleDirectory;
  bool Silent = false;
};

// The whole command line for CreateProcess (program path included).
std::string FormatFinishCommandLine(std::string_view copyPath, std::string_view titleDirectory,
                                    bool silent);

// Reads the arguments (WinMain's command line, without the program path).
// False when they are not a finish command; an empty line means the user
// started the uninstaller.
bool ParseFinishCommand(std::string_view arguments, FinishCommand* command);

// The user's switches, compared without regard to case. `Unknown` is the
// first argument that is none of them.
struct UserArguments {
  bool Silent = false;
  bool Help = false;
  std::string Unknown;
  bool Bad() const { return Help || !Unknown.empty(); }
};
UserArguments ParseUserArguments(std::string_view arguments);

}  // namespace uninstaller
