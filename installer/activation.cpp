// The launcher and the per-user steps (see activation.h).
#include "installer/activation.h"

#include <windows.h>

#include <cstring>
#include <string_view>

#include "core/format/install_names.h"
#include "core/format/title_rule.h"
#include "core/text/ascii_case.h"
#include "core/text/bounded_text.h"
#include "installer/account_rights.h"
#include "installer/installer_state.h"
#include "installer/own_manifest.h"
#include "installer/windows_directory.h"

namespace installer {

using format::kPathBufferSize;
using text::AppendText;
using text::CopyText;

PerUserRoad PerUserSteps = PerUserRoad::kHere;
bool ReadyForActivation = false;

namespace {

// Exit codes of the installer, as the installer, the uninstaller and the
// tool share them.
constexpr int kExitCancelled = 2;
constexpr int kExitFilesNotWritten = 4;
constexpr int kExitMediaCannotPlay = 6;
constexpr int kExitBadArguments = 7;
constexpr int kExitElevationRefused = 8;

constexpr char kActivationFile[] = "system.ini";
constexpr char kActivationSection[] = "boot";
constexpr char kActivationKey[] = "SCRNSAVE.EXE";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr char kActiveValue[] = "ScreenSaveActive";

constexpr char kSystemAccountNote[] =
    "Running as the local system account: no user's desktop, so the screen saver is neither "
    "made the screen saver nor started.";
constexpr char kElevationFailedFormat[] =
    "The installation needs administrator rights and could not be started with them (error %lu).";
constexpr char kElevationFailedCaption[] = "Screen Saver Installation";

// The launcher's own switches behind the private one: 1023 characters in
// all, far more than the installer's switches need.
constexpr std::size_t kParametersSize = 1024;

// True when `commandLine` holds `name` as a word of its own, in any case.
bool HasSwitch(const char* commandLine, const char* name) {
  const std::size_t length = std::strlen(name);
  for (const char* at = commandLine; *at != '\0'; ++at) {
    if (at != commandLine && at[-1] != ' ' && at[-1] != '\t') continue;
    if (std::memchr(at, '\0', length) == nullptr && text::EqualNoCase(std::string_view(at, length), name) &&
        (at[length] == '\0' || at[length] == ' ' || at[length] == '\t'))
      return true;
  }
  return false;
}

void SetTextValue(HKEY key, const char* name, const char* text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                 static_cast<DWORD>(std::strlen(text) + 1));
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
  switch (RunElevatedSelf(parameters, &exitCode, &error)) {
    case Elevation::kRefused:
      return kExitElevationRefused;  // the user's own No: nothing more to say
    case Elevation::kFailed: {
      char message[256];
      text::FormatText(message, sizeof message, kElevationFailedFormat, static_cast<unsigned long>(error));
      MessageBoxA(nullptr, message, kElevationFailedCaption, MB_OK | MB_ICONHAND);
      return kExitElevationRefused;
    }
    case Elevation::kRan:
      break;
  }
  if (exitCode != 0) return static_cast<int>(exitCode);
  char path[kPathBufferSize];
  if (InstalledScreenSaverPath(path)) {
    ActivateForThisUser(path);
    StartInstalledScreenSaver(path);
  }
  return 0;
}

}  // namespace

const char* SkippedActivationNote() {
  return PerUserSteps == PerUserRoad::kSkippedSystemAccount ? kSystemAccountNote : nullptr;
}

int RunLauncherIfNeeded(const char* commandLine) {
  if (commandLine == nullptr) commandLine = "";
  if (HasSwitch(commandLine, kElevatedChildSwitch)) {
    PerUserSteps = PerUserRoad::kLeftToLauncher;
    return -1;
  }
  if (RunsAsSystemAccount()) {
    PerUserSteps = PerUserRoad::kSkippedSystemAccount;
    return -1;
  }
  PerUserSteps = PerUserRoad::kHere;
  if (RunsWithFullRights()) return -1;
  return LaunchElevatedChild(commandLine);
}

void ActivateInstalledScreenSaver(const char* screenSaverPath) {
  ReadyForActivation = true;
  if (PerUserSteps == PerUserRoad::kHere) ActivateForThisUser(screenSaverPath);
}

void ActivateForThisUser(const char* screenSaverPath) {
  char shortPath[kPathBufferSize];
  const DWORD length = GetShortPathNameA(screenSaverPath, shortPath, sizeof shortPath);
  if (length > 0 && length < sizeof shortPath) {
    // Where Windows maps this [boot] key to the user's registry the write
    // lands there already; elsewhere the registry values below do it.
    WritePrivateProfileStringA(kActivationSection, kActivationKey, shortPath, kActivationFile);
    char keyClass[] = "";
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, keyClass, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      SetTextValue(key, kActivationKey, shortPath);
      SetTextValue(key, kActiveValue, "1");
      RegCloseKey(key);
    }
  }
  SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_UPDATEINIFILE);
}

bool StartsScreenSaverHere() { return PerUserSteps == PerUserRoad::kHere; }

int ExitCodeOfRun(int sequenceCode) {
  if (PerUserSteps != PerUserRoad::kLeftToLauncher || sequenceCode != 0) return sequenceCode;
  // The child's 0 tells the launcher to activate: only when it may. A stop
  // that the sequence did not tell by its code was a cancel.
  if (ReadyForActivation) return 0;
  if (Extracted.failedFileCount > 0) return kExitFilesNotWritten;
  if (!Extracted.AllMediaSupported()) return kExitMediaCannotPlay;
  return kExitCancelled;
}

}  // namespace installer
