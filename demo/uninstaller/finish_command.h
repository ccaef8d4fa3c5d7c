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
// aside into the temporary directory (uninstaller.cpp).
#pragma once

#include <cstddef>

#include "core/format/install_names.h"

namespace uninstaller {

// The private switch of an uninstaller its launcher started elevated.
constexpr char kElevatedChildSwitch[] = "/ELEVATED-CHILD";

// Longest argument text a finish command may have; anything longer is the
// user's (and then an unknown argument).
constexpr std::size_t kMaxFinishArgumentsLength = 1024;

// The finish command line: two quoted paths and the switches.
constexpr std::size_t kFinishLineSize = 2 * format::kPathBufferSize + 48;

struct FinishCommand {
  // As given; at most kMaxFinishArgumentsLength characters, so it may be
  // longer than a path (and then no title directory).
  char TitleDirectory[kMaxFinishArgumentsLength + 1];
  bool Silent;
  bool UserSettingsLeftToLauncher;
};

// The whole command line for CreateProcess (program path included) into
// `line` of `size` bytes; false when it does not fit.
bool FormatFinishCommandLine(char* line, std::size_t size, const char* copyPath, const char* titleDirectory,
                             bool silent, bool userSettingsLeftToLauncher);

// Reads the arguments (WinMain's command line, without the program path).
// False when they are not a finish command; an empty line means the user
// started the uninstaller.
bool ParseFinishCommand(const char* arguments, FinishCommand* command);

// The user's switches, compared without regard to case. `Unknown` is the
// first argument that is none of them ("\"\"" for an empty one), cut to
// what the buffer holds: it is only shown.
struct UserArguments {
  bool Silent;
  bool Help;
  bool ElevatedChild;
  char Unknown[format::kPathBufferSize];
  bool Bad() const { return Help || Unknown[0] != '\0'; }
};
void ParseUserArguments(const char* arguments, UserArguments* result);

}  // namespace uninstaller
