// The per-user steps of an installation: making the installed screen saver
// the screen saver of the user who started the installer, and starting it
// on that user's desktop.
//
// Who takes them depends on how the installer runs:
//   - with full rights (elevated, or a Windows without elevation): this
//     process, in the extraction's order, and it starts the saver itself;
//   - without full rights: this process is the launcher; it starts its own
//     image elevated with kElevatedChildSwitch, which installs everything
//     but the per-user steps, and when that child reports "installed whole,
//     every media type plays" (exit code 0) it takes them itself, as the
//     user who started it;
//   - as the local system account: nobody; there is no desktop user.
#pragma once

#include <windows.h>

#include "installer/command_line.h"

namespace installer {

enum class PerUserRoad {
  kHere,                  // this process takes the per-user steps
  kLeftToLauncher,        // the elevated child: the launcher takes them
  kSkippedSystemAccount,  // the local system account: nobody takes them
};

// Decided by RunLauncherIfNeeded; kHere until then.
extern PerUserRoad PerUserSteps;

// Called in WinMain once the switches are read. Decides PerUserSteps from
// the switches and the process's token; when the process lacks full rights, runs the
// elevated child, takes the per-user steps after it, and returns the exit
// code of the whole installation. -1: this process installs by itself.
int RunLauncherIfNeeded(const char* commandLine);

// The extraction's activation, when its rule allows it: the per-user
// steps here, or noted for the launcher, or skipped.
void ActivateInstalledScreenSaver(const char* screenSaverPath);

// The "system.ini" [boot] SCRNSAVE.EXE value, and the same short path as
// HKEY_CURRENT_USER\Control Panel\Desktop SCRNSAVE.EXE with ScreenSaveActive
// "1", then the screen saver switched on and saved (for this process's
// user); nothing but the switch when the short path cannot be had.
void ActivateForThisUser(const char* screenSaverPath);

// Whether the install sequence starts the installed screen saver itself.
bool StartsScreenSaverHere();

}  // namespace installer
