// The uninstaller's command lines. Started by the user (or by Windows from
// UninstallString or QuietUninstallString):
//
//   UNINSTAL.EXE [/S] [/?]      /S: remove without asking and without
//                               message boxes; /?: the switches in a box
//
// (and, privately, /ELEVATED-CHILD: started elevated by its own launcher,
// which asked already and clears the screen saver setting of the user who
// started it; the child leaves that setting alone)
//
// and the line by which it hands its work to a copy of itself in the
// temporary directory, so that its own file and folder can go too:
//
//   "<copy path>" /finish "<title directory>" [/S] [/ELEVATED-CHILD]
//
// The original waits for the copy and ends with the copy's exit code; the
// copy moves the original's file, which cannot be deleted while it runs,
// aside into the temporary directory (uninstaller_main.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace uninstaller {

// The private switch of an uninstaller its launcher started elevated.
constexpr char kElevatedChildSwitch[] = "/ELEVATED-CHILD";

struct FinishCommand {
  std::string TitleDirectory;
  bool Silent = false;
  bool UserSettingsLeftToLauncher = false;
};

// The whole command line for CreateProcess (program path included).
std::string FormatFinishCommandLine(std::string_view copyPath, std::string_view titleDirectory,
                                    bool silent, bool userSettingsLeftToLauncher = false);

// Reads the arguments (WinMain's command line, without the program path).
// False when they are not a finish command; an empty line means the user
// started the uninstaller.
bool ParseFinishCommand(std::string_view arguments, FinishCommand* command);

// The user's switches, compared without regard to case. `Unknown` is the
// first argument that is none of them.
struct UserArguments {
  bool Silent = false;
  bool Help = false;
  bool ElevatedChild = false;
  std::string Unknown;
  bool Bad() const { return Help || !Unknown.empty(); }
};
UserArguments ParseUserArguments(std::string_view arguments);

}  // namespace uninstaller
