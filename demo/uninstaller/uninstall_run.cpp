// The uninstaller's work in order over Win32, and its final report.
#include "demo/uninstaller/uninstall_run.h"

#include <windows.h>

#include <cstring>

#include "core/format/exit_codes.h"
#include "core/text/bounded_text.h"
#include "demo/win32paths/win32_paths.h"

using format::kPathBufferSize;
using text::AppendText;
using text::AppendNumber;
using text::CopyText;

namespace uninstaller {
namespace {

constexpr char kBootSection[] = "boot";
constexpr char kScreenSaverKey[] = "SCRNSAVE.EXE";
constexpr char kSystemIni[] = "system.ini";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr int kDeleteAttempts = 10;       // a file just closed may stay locked briefly
constexpr DWORD kDeleteRetryDelay = 200;  // ms

// The log and the plan over it: one of each per process.
char g_log[kMaxInstallLogBytes + 1];
RemovalPlan g_plan;

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// A program that has just exited, or a virus scanner, may hold a file for
// a moment; other errors do not pass by waiting.
bool MayPass(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// A running program's file cannot be deleted but can be renamed on its
// volume: moved into the temporary directory under a unique name, it is
// deleted when Windows next starts. True when it has left `path`.
bool MoveAsideInUse(const char* path, const char* tempDirectory) {
  if (tempDirectory[0] == '\0') return false;
  char aside[MAX_PATH];
  if (GetTempFileNameA(tempDirectory, "skO", 0, aside) == 0) return false;
  if (!MoveFileExA(path, aside, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(aside);
    return false;
  }
  MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

// Deletes a file; true when it is gone (or was never there). A file in use
// (the original UNINSTAL.EXE, waiting for this copy) is moved aside.
bool DeleteWithRetry(const char* path, const char* tempDirectory) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
    if (DeleteFileA(path)) return true;
    const DWORD error = GetLastError();
    if (IsGone(error)) return true;
    if (!MayPass(error)) return false;
    if (MoveAsideInUse(path, tempDirectory)) return true;
    Sleep(kDeleteRetryDelay);
  }
  return false;
}

bool RemoveDirectoryWithRetry(const char* path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (RemoveDirectoryA(path)) return true;
    const DWORD error = GetLastError();
    if (IsGone(error)) return true;
    if (!MayPass(error)) return false;  // not empty, for one: waiting will not empty it
    Sleep(kDeleteRetryDelay);
  }
  return false;
}

// Reads at most `limit` bytes of a file into g_log (terminated); `cut`
// tells whether the file holds more.
bool ReadLog(const char* path, std::size_t limit, std::size_t* length, bool* cut) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // One byte more than the limit tells whether the file is longer.
  DWORD total = 0, read = 0;
  BOOL ok = TRUE;
  while (total < limit + 1 &&
         (ok = ReadFile(file, g_log + total, static_cast<DWORD>(limit + 1 - total), &read, nullptr)) && read > 0)
    total += read;
  CloseHandle(file);
  if (!ok) return false;
  *cut = total > limit;
  *length = *cut ? limit : total;
  g_log[*length] = '\0';
  return true;
}

// Notes `what` followed by `why` (a path and the reason, each cut to the
// line: it is only shown).
void NoteNotRemoved(UninstallReport* report, const char* what, const char* why = "") {
  if (report->NotRemovedCount < kMaxReportLines) {
    char* line = report->NotRemoved[report->NotRemovedCount];
    CopyText(line, kReportLineSize, what) && AppendText(line, kReportLineSize, why);
  }
  ++report->NotRemovedCount;
}

// The system.ini value, or HKEY_CURRENT_USER's, into `value` of
// kPathBufferSize bytes; empty when unset.
void ReadSystemIniSetting(char* value) {
  GetPrivateProfileStringA(kBootSection, kScreenSaverKey, "", value, kPathBufferSize, kSystemIni);
}

void ReadCurrentUserSetting(char* value) {
  value[0] = '\0';
  HKEY key = nullptr;
  DWORD size = kPathBufferSize - 1;  // room for a terminator the value may lack
  DWORD type = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
  const LONG read = RegQueryValueExA(key, kScreenSaverKey, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (read == ERROR_SUCCESS && type == REG_SZ)
    value[size < kPathBufferSize ? size : kPathBufferSize - 1] = '\0';
  else
    value[0] = '\0';
}

bool IsOurs(const char* setting, const UninstallPlace& place, const char* shortPath) {
  if (setting[0] == '\0') return false;
  char longForm[kPathBufferSize];
  if (!win32paths::LongPathForm(setting, longForm, sizeof longForm)) longForm[0] = '\0';
  return SettingNamesScreenSaver(setting, longForm, place.ScreenSaverPath, shortPath);
}

// Appends a heading and the first kMaxReportLines of `count` items, which
// lie `stride` bytes apart from `first`.
void AppendList(char* text, const char* heading, const char* first, std::size_t stride, std::size_t count) {
  if (count == 0) return;
  AppendText(text, kReportTextSize, heading);
  for (std::size_t i = 0; i < count && i < kMaxReportLines; ++i) {
    AppendText(text, kReportTextSize, "\n    ");
    AppendText(text, kReportTextSize, first + i * stride);
  }
  if (count > kMaxReportLines) {
    AppendText(text, kReportTextSize, "\n    ... and ") &&
        AppendNumber(text, kReportTextSize, static_cast<unsigned long>(count - kMaxReportLines)) &&
        AppendText(text, kReportTextSize, " more");
  }
  AppendText(text, kReportTextSize, "\n");
}

}  // namespace

UserSettingsOfOurs JudgeUserSettings(const UninstallPlace& place) {
  char shortPath[kPathBufferSize];
  const DWORD length = GetShortPathNameA(place.ScreenSaverPath, shortPath, sizeof shortPath);
  if (length == 0 || length >= sizeof shortPath) shortPath[0] = '\0';
  char setting[kPathBufferSize];
  UserSettingsOfOurs ours;
  ReadSystemIniSetting(setting);
  ours.SystemIni = IsOurs(setting, place, shortPath);
  ReadCurrentUserSetting(setting);
  ours.CurrentUser = IsOurs(setting, place, shortPath);
  return ours;
}

void ClearUserSettings(const UserSettingsOfOurs& ours) {
  if (ours.SystemIni) {
    // A NULL value deletes the key: no screen saver is set any more.
    WritePrivateProfileStringA(kBootSection, kScreenSaverKey, nullptr, kSystemIni);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }
  if (ours.CurrentUser) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, kScreenSaverKey);
      RegCloseKey(key);
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }
}

void RemoveInstallation(const UninstallPlace& place, const char* runningCopy, bool clearsUserSettings,
                        const char* tempDirectory, UninstallReport* report) {
  std::memset(report, 0, sizeof *report);
  std::size_t length = 0;
  bool cut = false;
  if (!ReadLog(place.InstallLogPath, kMaxInstallLogBytes, &length, &cut)) {
    NoteNotRemoved(report, place.InstallLogPath, " could not be read, so the files it lists were not removed");
    report->LogUnusable = true;
    length = 0;
  }
  PlanRemoval(place, std::string_view(g_log, length), &g_plan);
  if (cut || g_plan.Full) {
    NoteNotRemoved(report, place.InstallLogPath, " is too long: only the files at its beginning were removed");
    report->LogUnusable = true;
  }

  const UserSettingsOfOurs ours = clearsUserSettings ? JudgeUserSettings(place) : UserSettingsOfOurs{false, false};

  bool allDeleted = true;
  for (std::size_t i = 0; i < g_plan.DeletionCount; ++i) {
    const char* path = g_plan.Deletions[i];
    if (runningCopy && SamePath(path, runningCopy)) {
      NoteNotRemoved(report, path, " (in use by this uninstaller)");
      allDeleted = false;
    } else if (!DeleteWithRetry(path, tempDirectory)) {
      NoteNotRemoved(report, path);
      allDeleted = false;
    }
  }
  report->LeftAloneCount = g_plan.LeftAloneCount;
  for (std::size_t i = 0; i < g_plan.LeftAloneCount && i < kMaxReportLines; ++i)
    ShowLogLine(std::string_view(g_log + g_plan.LeftAlone[i].Offset, g_plan.LeftAlone[i].Length),
                report->LeftAlone[i]);
  if (allDeleted && !DeleteWithRetry(place.InstallLogPath, tempDirectory))
    NoteNotRemoved(report, place.InstallLogPath);

  const LONG key = RegDeleteKeyA(HKEY_LOCAL_MACHINE, place.UninstallKeyName);
  if (key != ERROR_SUCCESS && key != ERROR_FILE_NOT_FOUND)
    NoteNotRemoved(report, "registry key HKEY_LOCAL_MACHINE\\", place.UninstallKeyName);

  ClearUserSettings(ours);

  // The title directory must go; its parents go only when no other screen
  // saver of the maker lives there, which the removal itself checks.
  char directories[kDirectoriesToRemove][kPathBufferSize];
  DirectoriesToRemove(place, directories);
  if (!RemoveDirectoryWithRetry(directories[0])) {
    NoteNotRemoved(report, directories[0]);
    return;
  }
  for (int i = 1; i < kDirectoriesToRemove; ++i)
    if (!RemoveDirectoryWithRetry(directories[i])) break;
}

int ExitCodeOf(const UninstallReport& report) {
  if (report.LogUnusable) return format::kExitDamaged;
  if (report.NotRemovedCount > 0 || report.LeftAloneCount > 0) return format::kExitFilesFailed;
  return format::kExitInstalled;
}

void FormatReport(const UninstallPlace& place, const UninstallReport& report, char* text, bool* warning) {
  *warning = report.NotRemovedCount > 0 || report.LeftAloneCount > 0;
  CopyText(text, kReportTextSize, "The ") && AppendText(text, kReportTextSize, place.Title) &&
      AppendText(text, kReportTextSize,
                 *warning ? " screen saver has been removed, except for the following.\n"
                          : " screen saver has been removed.");
  if (!*warning) return;
  AppendList(text, "\nCould not be removed:", report.NotRemoved[0], kReportLineSize, report.NotRemovedCount);
  AppendList(text, "\nListed in INSTALL.LOG but outside this screen saver's folders, so left alone:",
             report.LeftAlone[0], kPathBufferSize, report.LeftAloneCount);
}

}  // namespace uninstaller
