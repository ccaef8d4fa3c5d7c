// The launcher and the per-user steps (see activation.h).
#include "installer/activation.h"

#include <windows.h>

#include <cstring>

#include "core/format/exit_codes.h"
#include "core/format/install_names.h"
#include "core/format/title_rule.h"
#include "core/text/bounded_text.h"
#include "installer/rights/account_rights.h"
#include "installer/installer_state.h"
#include "installer/installer_texts.h"
#include "installer/own_manifest.h"
#include "installer/run_log.h"
#include "installer/windows_directory.h"

namespace installer {

using format::kPathBufferSize;
using text::AppendText;
using text::CopyText;

PerUserRoad PerUserSteps = PerUserRoad::kHere;

namespace {

using format::kExitBadArguments;
using format::kExitElevationRefused;

constexpr char kActivationFile[] = "system.ini";
constexpr char kActivationSection[] = "boot";
constexpr char kActivationKey[] = "SCRNSAVE.EXE";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kActiveValue[] = "ScreenSaveActive";

constexpr char kSystemAccountNote[] =
    "running as the local system account: no user's desktop, so the screen saver is neither "
    "made the screen saver nor started";

// The launcher's own switches behind the private one: 1023 characters in
// all, far more than the installer's switches need.
constexpr std::size_t kParametersSize = 1024;

void SetTextValue(HKEY key, const char* name, const char* text) {
  const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(std::strlen(text) + 1));
  if (result == ERROR_SUCCESS)
    LogLine("registry HKEY_CURRENT_USER\\%s \"%s\" = REG_SZ \"%s\"", kDesktopKey, name, text);
  else LogFailure(name, "registry value not set", static_cast<DWORD>(result));
}

// The installed screen saver's path from this image's own title, as the
// elevated child built it: the Windows directory, the trimmed title, ".scr".
bool InstalledScreenSaverPath(char (&path)[kPathBufferSize]) {
  ReadScreenSaverTitle();
  text::TrimTrailingBlanks(ScreenSaverTitle);
  char windowsDirectory[kPathBufferSize];
  return format::CheckTitle(ScreenSaverTitle) == format::TitleFault::kNone &&
         ReadWindowsDirectory(windowsDirectory, sizeof windowsDirectory) &&
         format::BuildWinDir(path, sizeof path, windowsDirectory) &&
         AppendText(path, ScreenSaverTitle) && AppendText(path, format::kScreenSaverExtension);
}

void StartInstalledScreenSaver(const char* path) {
  char shortPath[kPathBufferSize];
  const DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
  if (length > 0 && length < sizeof shortPath) WinExec(shortPath, SW_SHOW);
}

// The launcher: the elevated child installs, then the per-user steps here.
int LaunchElevatedChild(const char* commandLine) {
  char parameters[kParametersSize];
  if (!CopyText(parameters, kElevatedChildSwitch) ||
      (commandLine[0] != '\0' && (!AppendText(parameters, " ") || !AppendText(parameters, commandLine))))
    return kExitBadArguments;
  DWORD exitCode = 0;
  DWORD error = 0;
  const rights::Elevation elevation = rights::RunElevatedSelf(parameters, &exitCode, &error);
  // The child has written the log and closed it: the launcher's lines follow.
  if (Switches.logPath[0] != '\0') AppendRunLog(Switches.logPath);
  switch (elevation) {
    case rights::Elevation::kRefused:
      LogLine("elevation refused by the user");
      return kExitElevationRefused;  // the user's own No: nothing more to say
    case rights::Elevation::kFailed: {
      LogFailure("to start the installation with administrator rights", "elevation failed", error);
      if (!Switches.silent) {
        char message[256];
        text::FormatText(message, sizeof message, kElevationFailedFormat, static_cast<unsigned long>(error));
        MessageBoxA(nullptr, message, kSwitchesCaption, MB_OK | MB_ICONHAND);
      }
      return kExitElevationRefused;
    }
    case rights::Elevation::kRan:
      break;
  }
  LogLine("elevated installation ended with exit code %lu", static_cast<unsigned long>(exitCode));
  // The child's 0 says: installed whole, every media type plays.
  if (exitCode != format::kExitInstalled) return static_cast<int>(exitCode);
  char path[kPathBufferSize];
  if (InstalledScreenSaverPath(path)) {
    ActivateForThisUser(path);
    if (!Switches.silent) StartInstalledScreenSaver(path);
  }
  return format::kExitInstalled;
}

}  // namespace

int RunLauncherIfNeeded(const char* commandLine) {
  if (commandLine == nullptr) commandLine = "";
  if (Switches.elevatedChild) {
    PerUserSteps = PerUserRoad::kLeftToLauncher;
    return -1;
  }
  if (rights::RunsAsSystemAccount()) {
    PerUserSteps = PerUserRoad::kSkippedSystemAccount;
    return -1;
  }
  PerUserSteps = PerUserRoad::kHere;
  if (rights::RunsWithFullRights()) return -1;
  return LaunchElevatedChild(commandLine);
}

void ActivateInstalledScreenSaver(const char* screenSaverPath) {
  switch (PerUserSteps) {
    case PerUserRoad::kHere: ActivateForThisUser(screenSaverPath); break;
    case PerUserRoad::kLeftToLauncher: LogLine("activation left to the launcher"); break;
    case PerUserRoad::kSkippedSystemAccount: LogLine("%s", kSystemAccountNote); break;
  }
}

void ActivateForThisUser(const char* screenSaverPath) {
  char shortPath[kPathBufferSize];
  const DWORD length = GetShortPathNameA(screenSaverPath, shortPath, sizeof shortPath);
  if (length > 0 && length < sizeof shortPath) {
    // Where Windows maps this [boot] key to the user's registry the write
    // lands there already; elsewhere the registry values below do it.
    if (WritePrivateProfileStringA(kActivationSection, kActivationKey, shortPath, kActivationFile))
      LogLine("system.ini [%s] %s = %s", kActivationSection, kActivationKey, shortPath);
    else LogFailure(kActivationFile, "screen saver not set", GetLastError());
    char keyClass[] = "";
    HKEY key = nullptr;
    const LONG opened = RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, keyClass,
                                        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (opened == ERROR_SUCCESS) {
      SetTextValue(key, kActivationKey, shortPath);
      SetTextValue(key, kActiveValue, "1");
      RegCloseKey(key);
    } else {
      LogFailure("HKEY_CURRENT_USER\\Control Panel\\Desktop", "registry key not opened",
                 static_cast<DWORD>(opened));
    }
  }
  if (SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE))
    LogLine("screen saver switched on");
  else LogFailure("SPI_SETSCREENSAVEACTIVE", "screen saver not switched on", GetLastError());
}

bool StartsScreenSaverHere() { return PerUserSteps == PerUserRoad::kHere; }


}  // namespace installer
