// The uninstaller's work in order, over Win32:
//
//   1. read INSTALL.LOG and plan (uninstall_plan.h);
//   2. ask whether the screen saver setting names this screen saver, before
//      anything is deleted (a short path exists only while its file does);
//   3. delete the planned files, except the running uninstaller itself;
//   4. delete INSTALL.LOG, unless a listed file remains (so that running
//      the uninstaller again can finish the job);
//   5. delete the uninstall key;
//   6. clear the screen saver setting when step 2 said it is ours (the
//      running user's: system.ini, and HKEY_CURRENT_USER's own value);
//   7. remove the title directory, then VELDRAKE and MARLOWEN while they
//      are empty.
#pragma once

#include <cstddef>

#include "demo/uninstaller/uninstall_plan.h"

namespace uninstaller {

// One line of the report: a path and why, or a note.
constexpr std::size_t kReportLineSize = format::kPathBufferSize + 80;
// Each list of the final message is cut at this many lines.
constexpr std::size_t kMaxReportLines = 12;

struct UninstallReport {
  // What should have gone but did not, with reasons: the first
  // kMaxReportLines, and how many there were.
  char NotRemoved[kMaxReportLines][kReportLineSize];
  std::size_t NotRemovedCount;
  // Log lines outside what this uninstaller owns, as shown: the first
  // kMaxReportLines, and how many distinct ones there were.
  char LeftAlone[kMaxReportLines][format::kPathBufferSize];
  std::size_t LeftAloneCount;
  bool LogUnusable;  // INSTALL.LOG unreadable, or too long to plan whole
};

// The exit code (core/format/exit_codes.h): 5 when INSTALL.LOG could not be
// used, 4 when anything it lists (or the key, or a folder) remains, left
// alone included, else 0.
int ExitCodeOf(const UninstallReport& report);

// Which of the running user's screen saver settings name this screen
// saver. Judged before its file is deleted: a short path exists only while
// its file does.
struct UserSettingsOfOurs {
  bool SystemIni;    // system.ini [boot] SCRNSAVE.EXE
  bool CurrentUser;  // HKEY_CURRENT_USER\Control Panel\Desktop SCRNSAVE.EXE
};
UserSettingsOfOurs JudgeUserSettings(const UninstallPlace& place);
// Clears each setting that `ours` names and switches the screen saver off.
void ClearUserSettings(const UserSettingsOfOurs& ours);

// Removes the installation at `place`. `runningCopy` is the uninstaller's
// own path when it runs from the title directory (it cannot delete
// itself), else null. Without `clearsUserSettings` (an elevated process
// whose launcher clears the setting of the user who started it) the
// settings are not touched. A file in use is moved aside into
// `tempDirectory` (empty: none) and deleted when Windows next starts.
void RemoveInstallation(const UninstallPlace& place, const char* runningCopy, bool clearsUserSettings,
                        const char* tempDirectory, UninstallReport* report);

// The final message: "removed", or what was not removed and what was left
// alone, each list cut at kMaxReportLines. `warning` tells which it is.
constexpr std::size_t kReportTextSize =
    256 + 2 * (kMaxReportLines * (kReportLineSize + 5) + 128);
void FormatReport(const UninstallPlace& place, const UninstallReport& report, char* text, bool* warning);

}  // namespace uninstaller
