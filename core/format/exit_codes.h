// The exit codes of installer.exe and UNINSTAL.EXE, one table for both
// programs and for the tool that documents them. A code means the same in
// both programs where both can end with it.
#pragma once

namespace format {

enum ExitCode : int {
  // Installer: installed (and activated where every media type plays).
  // Uninstaller: everything INSTALL.LOG listed was removed.
  kExitInstalled = 0,
  // Installer: the decoder could not write a file and ended the run at once.
  kExitShortWrite = 1,
  // Both: the user cancelled or declined (replace question, confirmation,
  // licence; the uninstaller's question).
  kExitCancelled = 2,
  // Installer: not enough disk space (the warning answered Cancel, or any
  // warning under /S). Nothing was written.
  kExitDiskSpace = 3,
  // Installer: files that could not be written. Uninstaller: something
  // logged could not be removed.
  kExitFilesFailed = 4,
  // Installer: damaged image or refused title. Uninstaller: INSTALL.LOG
  // damaged or unreadable.
  kExitDamaged = 5,
  // Installer: installed, but a media type cannot play: not activated and
  // not started.
  kExitMediaUnplayable = 6,
  // Both: bad arguments (/? or an unknown switch).
  kExitBadArguments = 7,
  // Both: elevation refused.
  kExitElevationRefused = 8,
};

// One line of the table, for help texts and manuals.
struct ExitCodeMeaning {
  int code;
  const char* installer;    // nullptr: the installer never ends with it
  const char* uninstaller;  // nullptr: the uninstaller never ends with it
};

constexpr ExitCodeMeaning kExitCodeMeanings[] = {
    {kExitInstalled, "installed (and activated where every media type plays)",
     "everything logged was removed"},
    {kExitShortWrite, "the decoder could not write a file", nullptr},
    {kExitCancelled, "cancelled or declined by the user", "cancelled by the user"},
    {kExitDiskSpace, "not enough disk space; nothing written", nullptr},
    {kExitFilesFailed, "files that could not be written", "something logged could not be removed"},
    {kExitDamaged, "damaged image or refused title", "damaged or unreadable INSTALL.LOG"},
    {kExitMediaUnplayable, "installed, but a media type cannot play: not activated, not started",
     nullptr},
    {kExitBadArguments, "bad arguments (/? or an unknown switch)", "bad arguments"},
    {kExitElevationRefused, "elevation refused", "elevation refused"},
};

}  // namespace format
