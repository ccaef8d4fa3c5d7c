// UNINSTAL.EXE: removes a screen saver that the Saverkit installer put on
// this machine, from the records the installer left in its title directory.
//
// Started by the user (from the list of installed programs, or in its
// folder) it asks first (not with /S); then it copies itself to the
// temporary directory, starts that copy with the finish command
// (finish_command.h), waits for it and ends with its exit code
// (core/format/exit_codes.h). The copy deletes the files listed in
// INSTALL.LOG that the rules of uninstall_plan.h allow, the log, the
// uninstall key and the screen saver setting when it names this screen
// saver, removes the title directory and its two parents when empty,
// reports once (not with /S), and has itself deleted when Windows next
// starts (MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT). The original
// UNINSTAL.EXE, running while it waits, cannot be deleted: the copy moves it
// into the temporary directory, where it is deleted at the same restart.
// When no copy can be started the original does the work itself and
// reports that it and its folder remain.
//
// It runs as the user who started it (asInvoker), because the screen saver
// setting it clears is that user's: an elevated process's
// HKEY_CURRENT_USER is the elevating account's. Without full rights it
// asks first, notes which of the user's settings name this screen saver,
// starts itself elevated with /ELEVATED-CHILD (which removes everything
// but those settings), waits, and clears them when the child succeeded.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "demo/uninstaller/finish_command.h"
#include "installer/rights/account_rights.h"
#include "demo/uninstaller/uninstall_plan.h"
#include "demo/uninstaller/uninstall_run.h"
#include "demo/win32paths/win32_paths.h"

namespace uninstaller {

namespace {

constexpr char kBootSection[] = "boot";
constexpr char kScreenSaverKey[] = "SCRNSAVE.EXE";
constexpr char kSystemIni[] = "system.ini";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr int kDeleteAttempts = 10;           // a file just closed may stay locked briefly
constexpr DWORD kDeleteRetryDelay = 200;      // ms

struct Environment {
  std::string WindowsDirectory;  // long form, as the system reports it
  std::string OwnPath;           // this program, long form
  std::string OwnDirectory;
  std::string TempDirectory;
};

std::string ShortPathForm(const std::string& path) {
  char result[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), result, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(result) : std::string();
}

Environment ReadEnvironment() {
  Environment env;
  char buffer[MAX_PATH];
  UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) env.WindowsDirectory = win32paths::LongPathForm(buffer);
  DWORD moduleLength = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (moduleLength > 0 && moduleLength < MAX_PATH) {
    env.OwnPath = win32paths::LongPathForm(buffer);
    const std::size_t slash = env.OwnPath.find_last_of('\\');
    if (slash != std::string::npos) env.OwnDirectory = env.OwnPath.substr(0, slash);
  }
  length = GetTempPathA(MAX_PATH, buffer);
  if (length > 0 && length < MAX_PATH) env.TempDirectory = buffer;
  return env;
}

bool IsGone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// A program that has just exited, or a virus scanner, may hold a file for
// a moment; other errors do not pass by waiting.
bool MayPass(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

// A running program's file cannot be deleted but can be renamed on its
// volume: moved into the temporary directory under a unique name, it is
// deleted when Windows next starts. True when it has left `path`.
bool MoveAsideInUse(const std::string& path, const std::string& tempDirectory) {
  if (tempDirectory.empty()) return false;
  char aside[MAX_PATH];
  if (GetTempFileNameA(tempDirectory.c_str(), "skO", 0, aside) == 0) return false;
  if (!MoveFileExA(path.c_str(), aside, MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(aside);
    return false;
  }
  MoveFileExA(aside, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

// Deletes a file; true when it is gone (or was never there). A file in use
// (the original UNINSTAL.EXE, waiting for this copy) is moved aside.
bool DeleteWithRetry(const std::string& path, const std::string& tempDirectory) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
    if (DeleteFileA(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (IsGone(error)) return true;
    if (!MayPass(error)) return false;
    if (MoveAsideInUse(path, tempDirectory)) return true;
    Sleep(kDeleteRetryDelay);
  }
  return false;
}

bool RemoveDirectoryWithRetry(const std::string& path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    if (RemoveDirectoryA(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (IsGone(error)) return true;
    if (!MayPass(error)) return false;  // not empty, for one: waiting will not empty it
    Sleep(kDeleteRetryDelay);
  }
  return false;
}

// The uninstaller's requests, answered by Win32.
class WindowsSystem : public UninstallSystem {
 public:
  explicit WindowsSystem(std::string tempDirectory) : temp_(std::move(tempDirectory)) {}
  bool ReadText(const std::string& path, std::size_t limit, std::string* text, bool* cut) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    text->assign(limit + 1, '\0');  // one byte more tells whether the file is longer
    DWORD total = 0, read = 0;
    BOOL ok = TRUE;
    while (total < text->size() &&
           (ok = ReadFile(file, &(*text)[total], static_cast<DWORD>(text->size() - total), &read, nullptr)) &&
           read > 0)
      total += read;
    CloseHandle(file);
    if (!ok) return false;
    *cut = total > limit;
    text->resize(*cut ? limit : total);
    return true;
  }
  bool RemoveFile(const std::string& path) override { return DeleteWithRetry(path, temp_); }
  bool RemoveFolder(const std::string& path) override { return RemoveDirectoryWithRetry(path); }
  bool RemoveUninstallKey(const std::string& keyName) override {
    const LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyName.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
  }
  std::string ScreenSaverSetting() override {
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA(kBootSection, kScreenSaverKey, "", value, MAX_PATH, kSystemIni);
    return value;
  }
  void ClearScreenSaverSetting() override {
    // A NULL value deletes the key: no screen saver is set any more.
    WritePrivateProfileStringA(kBootSection, kScreenSaverKey, nullptr, kSystemIni);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }
  std::string UserScreenSaverSetting() override {
    HKEY key = nullptr;
    char value[MAX_PATH] = "";
    DWORD size = sizeof value - 1;  // room for a terminator the value may lack
    DWORD type = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return "";
    const LONG read =
        RegQueryValueExA(key, kScreenSaverKey, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS && type == REG_SZ ? std::string(value) : std::string();
  }
  void ClearUserScreenSaverSetting() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, kScreenSaverKey);
      RegCloseKey(key);
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }
  std::string LongForm(const std::string& path) override { return win32paths::LongPathForm(path); }
  std::string ShortForm(const std::string& path) override { return ShortPathForm(path); }

 private:
  std::string temp_;
};

// The report, shown unless silent; the exit code.
int Report(const UninstallPlace& place, const UninstallReport& report, bool silent) {
  if (!silent) {
    bool warning = false;
    const std::string text = FormatReport(place, report, &warning);
    const std::string caption = place.Title + " Uninstall";
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
  }
  return ExitCodeOf(report);
}

// Starts this program elevated as the child (with /S when silent) and
// returns its exit code, or the elevation-refused code when it did not run
// (refused, with a message when not by the user and not silent).
int RunElevatedChild(bool silent) {
  const std::string parameters = std::string(kElevatedChildSwitch) + (silent ? " /S" : "");
  DWORD code = 0;
  DWORD error = 0;
  switch (rights::RunElevatedSelf(parameters.c_str(), &code, &error)) {
    case rights::Elevation::kRan: return static_cast<int>(code);
    case rights::Elevation::kRefused: return format::kExitElevationRefused;
    case rights::Elevation::kFailed: break;
  }
  if (!silent) {
    const std::string text = "The uninstaller needs administrator rights and could not be started with them "
                             "(error " + std::to_string(error) + ").  Nothing was removed.";
    MessageBoxA(nullptr, text.c_str(), "Screen Saver Uninstall", MB_OK | MB_ICONSTOP);
  }
  return format::kExitElevationRefused;
}

// Copies this program to the temporary directory, starts the copy with the
// finish command, waits for it and gives its exit code. False when no copy
// can be started.
bool RunFinishingCopy(const Environment& env, const UninstallPlace& place, bool silent,
                      bool userSettingsLeftToLauncher, int* exitCode) {
  if (env.TempDirectory.empty()) return false;
  char copy[MAX_PATH];
  // Creates an empty file with a unique name, which the copy then replaces.
  if (GetTempFileNameA(env.TempDirectory.c_str(), "skU", 0, copy) == 0) return false;
  if (!CopyFileA(env.OwnPath.c_str(), copy, FALSE)) {
    DeleteFileA(copy);
    return false;
  }
  const std::string line = FormatFinishCommandLine(copy, place.TitleDirectory, silent,
                                                   userSettingsLeftToLauncher);
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // The copy works from the temporary directory, so that no process keeps
  // the title directory as its current directory.
  if (!CreateProcessA(copy, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, env.TempDirectory.c_str(),
                      &startup, &process)) {
    DeleteFileA(copy);
    return false;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  // A copy whose end cannot be read removed what it could: not all, as far
  // as this program can tell.
  *exitCode = GetExitCodeProcess(process.hProcess, &code) ? static_cast<int>(code) : format::kExitFilesFailed;
  CloseHandle(process.hProcess);
  return true;
}

bool MakePlace(const Environment& env, const std::string& titleDirectory, bool silent, UninstallPlace* place) {
  if (MakeUninstallPlace(env.WindowsDirectory, titleDirectory, place)) return true;
  const std::string text =
      "This uninstaller removes a screen saver installed by Saverkit, and works only from that screen "
      "saver's own folder (in the Windows directory, under MARLOWEN\\VELDRAKE). It was given:\n    " +
      titleDirectory + "\n\nNothing was removed.";
  if (!silent) MessageBoxA(nullptr, text.c_str(), "Screen Saver Uninstall", MB_OK | MB_ICONSTOP);
  return false;
}

// The question before anything is removed; true for Yes.
bool AskRemoval(const UninstallPlace& place) {
  const std::string question =
      "Do you want to remove the " + place.Title + " screen saver and all of its files from this computer?";
  const std::string caption = place.Title + " Uninstall";
  return MessageBoxA(nullptr, question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) ==
         IDYES;
}

// The first stage's requests, answered by Win32. An elevated child does
// not ask again: its launcher asked.
class WindowsFirstStage : public FirstStageSystem {
 public:
  WindowsFirstStage(const Environment& env, const UninstallPlace& place, bool elevatedChild)
      : env_(env), place_(place), elevatedChild_(elevatedChild) {}
  bool ConfirmRemoval() override { return elevatedChild_ || AskRemoval(place_); }
  bool RunFinishingCopy(bool silent, int* exitCode) override {
    return uninstaller::RunFinishingCopy(env_, place_, silent, elevatedChild_, exitCode);
  }
  int RemoveHere(bool silent) override {
    WindowsSystem system(env_.TempDirectory);
    return Report(place_, RemoveInstallation(place_, env_.OwnPath, &system, !elevatedChild_), silent);
  }

 private:
  const Environment& env_;
  const UninstallPlace& place_;
  bool elevatedChild_;
};

int Start(const Environment& env, const UserArguments& user) {
  UninstallPlace place;
  // Not its own folder: nothing is removed, so nothing logged was.
  if (!MakePlace(env, win32paths::LongPathForm(env.OwnDirectory), user.Silent, &place))
    return format::kExitFilesFailed;
  if (!user.ElevatedChild && !rights::RunsWithFullRights()) {
    // The launcher: it asks, notes which of this user's settings name the
    // screen saver (before its file goes), lets the elevated child remove
    // the rest, and clears them when the child removed everything.
    if (!user.Silent && !AskRemoval(place)) return format::kExitCancelled;
    WindowsSystem system(env.TempDirectory);
    const UserSettingsOfOurs ours = JudgeUserSettings(place, &system);
    const int code = RunElevatedChild(user.Silent);
    if (code == format::kExitInstalled) ClearUserSettings(ours, &system);
    return code;
  }
  WindowsFirstStage system(env, place, user.ElevatedChild);
  return RunFirstStage(user.Silent, &system);
}

int Finish(const Environment& env, const FinishCommand& command) {
  if (!env.TempDirectory.empty()) SetCurrentDirectoryA(env.TempDirectory.c_str());
  int result = format::kExitFilesFailed;
  UninstallPlace place;
  if (MakePlace(env, win32paths::LongPathForm(command.TitleDirectory), command.Silent, &place)) {
    WindowsSystem system(env.TempDirectory);
    result = Report(place,
                    RemoveInstallation(place, std::string(), &system, !command.UserSettingsLeftToLauncher),
                    command.Silent);
  }
  // This copy in the temporary directory cannot delete itself while it
  // runs: Windows deletes it when it next starts. A finish command given
  // to a program outside the temporary directory leaves the program be.
  std::string temp = win32paths::LongPathForm(env.TempDirectory);
  if (!temp.empty() && temp.back() == '\\') temp.pop_back();
  if (!temp.empty() && lstrcmpiA(temp.c_str(), env.OwnDirectory.c_str()) == 0)
    MoveFileExA(env.OwnPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return result;
}

// /? or an argument not understood: the switches in a box (none with /S).
int RefuseArguments(const UserArguments& arguments) {
  if (!arguments.Silent) {
    std::string text;
    if (!arguments.Unknown.empty()) text = "Unknown argument: " + arguments.Unknown + "\n\n";
    text +=
        "Switches:\n\n/S\tRemove without asking and without messages.\n/?\tShow this message.\n\n"
        "Exit codes:\n";
    for (const format::ExitCodeMeaning& meaning : format::kExitCodeMeanings)
      if (meaning.uninstaller != nullptr) text += std::to_string(meaning.code) + "\t" + meaning.uninstaller + "\n";
    MessageBoxA(nullptr, text.c_str(), "Screen Saver Uninstall",
                MB_OK | (arguments.Unknown.empty() ? MB_ICONINFORMATION : MB_ICONSTOP));
  }
  return format::kExitBadArguments;
}

}  // namespace

}  // namespace uninstaller

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  win32paths::RestrictDllSearchToSystem();
  const uninstaller::Environment env = uninstaller::ReadEnvironment();
  const char* arguments = commandLine ? commandLine : "";
  uninstaller::FinishCommand finish;
  if (uninstaller::ParseFinishCommand(arguments, &finish)) return uninstaller::Finish(env, finish);
  const uninstaller::UserArguments user = uninstaller::ParseUserArguments(arguments);
  if (user.Bad()) return uninstaller::RefuseArguments(user);
  return uninstaller::Start(env, user);
}
