// The uninstaller's work in order, over an interface to the system, so
// that the order and the report can be checked without Windows:
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
#include <string>
#include <vector>

#include "core/format/exit_codes.h"
#include "demo/uninstaller/uninstall_plan.h"

namespace uninstaller {

// What the uninstaller asks of the system. Removal calls answer true when
// the thing is gone afterwards, also when it was never there.
class UninstallSystem {
 public:
  virtual ~UninstallSystem() = default;
  // Reads at most `limit` bytes; `cut` tells whether the file holds more.
  virtual bool ReadText(const std::string& path, std::size_t limit, std::string* text, bool* cut) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  // Fails when the directory is not empty.
  virtual bool RemoveFolder(const std::string& path) = 0;
  // The key under HKEY_LOCAL_MACHINE.
  virtual bool RemoveUninstallKey(const std::string& keyName) = 0;
  // The "system.ini" [boot] SCRNSAVE.EXE value, empty when unset.
  virtual std::string ScreenSaverSetting() = 0;
  // Clears that value and switches the screen saver off.
  virtual void ClearScreenSaverSetting() = 0;
  // HKEY_CURRENT_USER\Control Panel\Desktop SCRNSAVE.EXE, empty when unset.
  virtual std::string UserScreenSaverSetting() = 0;
  // Deletes that value and switches the screen saver off.
  virtual void ClearUserScreenSaverSetting() = 0;
  // Long and short (8.3) forms of an existing path; long: the path itself,
  // short: empty, when they cannot be had.
  virtual std::string LongForm(const std::string& path) = 0;
  virtual std::string ShortForm(const std::string& path) = 0;
};

struct UninstallReport {
  std::vector<std::string> NotRemoved;  // what should have gone but did not, with reasons
  std::vector<std::string> LeftAlone;   // log lines outside what this uninstaller owns
  bool LogUnusable = false;             // INSTALL.LOG unreadable, or too long to read whole
};

// The exit code (core/format/exit_codes.h): 5 when INSTALL.LOG could not be
// used, 4 when anything it lists (or the key, or a folder) remains, left
// alone included, else 0.
int ExitCodeOf(const UninstallReport& report);

// The first stage, as the user starts it: asks (not under /S); then starts
// the finishing copy in the temporary directory, waits for it and ends with
// its code; when no copy can be started, removes what it can itself.
class FirstStageSystem {
 public:
  virtual ~FirstStageSystem() = default;
  virtual bool ConfirmRemoval() = 0;
  // False when the copy cannot be made or started; else `exitCode` is the
  // copy's.
  virtual bool RunFinishingCopy(bool silent, int* exitCode) = 0;
  // The removal done by this program itself; its exit code.
  virtual int RemoveHere(bool silent) = 0;
};
int RunFirstStage(bool silent, FirstStageSystem* system);

// Which of the running user's screen saver settings name this screen
// saver. Judged before its file is deleted: a short path exists only while
// its file does.
struct UserSettingsOfOurs {
  bool SystemIni = false;
  bool CurrentUser = false;
};
UserSettingsOfOurs JudgeUserSettings(const UninstallPlace& place, UninstallSystem* system);
// Clears each setting that `ours` names.
void ClearUserSettings(const UserSettingsOfOurs& ours, UninstallSystem* system);

// `runningCopy` is the uninstaller's own path when it runs from the title
// directory (it cannot delete itself), else empty. Without
// `clearsUserSettings` (an elevated process whose launcher clears the
// setting of the user who started it) the settings are not touched.
UninstallReport RemoveInstallation(const UninstallPlace& place, const std::string& runningCopy,
                                   UninstallSystem* system, bool clearsUserSettings = true);

// The final message: "removed", or what was not removed and what was left
// alone, each list cut at kMaxReportLines. `warning` tells which it is.
constexpr std::size_t kMaxReportLines = 12;
std::string FormatReport(const UninstallPlace& place, const UninstallReport& report, bool* warning);

}  // namespace uninstaller
