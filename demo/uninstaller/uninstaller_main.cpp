// UNINSTAL.EXE: removes a screen saver that the Saverkit installer put on
// this machine, from the records the installer left in its title directory.
//
// Started by the user (from the list of installed programs, or in its
// folder) it asks first; then it copies itself to the temporary directory
// and starts that copy with the finish command (finish_command.h) and
// exits. The copy waits for the original to end, deletes the files listed
// in INSTALL.LOG that the rules of uninstall_plan.h allow (the original
// UNINSTAL.EXE among them), the log, the uninstall key and the screen saver
// setting when it names this screen saver, removes the title directory and
// its two parents when empty, reports once, and has itself deleted when
// Windows next starts (MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT).
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
#include <shellapi.h>

#include <string>
#include <vector>

#include "demo/uninstaller/finish_command.h"
#include "demo/uninstaller/uninstall_plan.h"
#include "demo/uninstaller/uninstall_run.h"
#include "demo/win32paths/win32_paths.h"

namespace uninstaller {

namespace {

constexpr char kBootSection[] = "boot";
constexpr char kScreenSaverKey[] = "SCRNSAVE.EXE";
constexpr char kSystemIni[] = "system.ini";
constexpr char kDesktopKey[] = "Control Panel\\Desktop";
constexpr int kExitElevationRefused = 8;  // the code the installer gives too
constexpr DWORD kOriginalExitWait = 30000;    // ms the copy waits for the original
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

// Deletes a file; true when it is gone (or was never there).
bool DeleteWithRetry(const std::string& path) {
  for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file cannot be deleted
    if (DeleteFileA(path.c_str())) return true;
    const DWORD error = GetLastError();
    if (IsGone(error)) return true;
    if (!MayPass(error)) return false;
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
  bool RemoveFile(const std::string& path) override { return DeleteWithRetry(path); }
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
};

void ShowReport(const UninstallPlace& place, const UninstallReport& report) {
  bool warning = false;
  const std::string text = FormatReport(place, report, &warning);
  const std::string caption = place.Title + " Uninstall";
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

// True when the token is elevated, or this Windows has no elevation.
bool RunsWithFullRights() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const BOOL known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return !known || elevation.TokenIsElevated != 0;
}

// Starts this program elevated as the child and returns its exit code, or
// kExitElevationRefused when it did not run (refused, with a message when
// not by the user).
int RunElevatedChild(const Environment& env) {
  SHELLEXECUTEINFOA start = {};
  start.cbSize = sizeof start;
  start.fMask = SEE_MASK_NOCLOSEPROCESS;
  start.lpVerb = "runas";
  start.lpFile = env.OwnPath.c_str();
  start.lpParameters = kElevatedChildSwitch;
  start.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&start) || start.hProcess == nullptr) {
    const DWORD error = GetLastError();
    if (error != ERROR_CANCELLED) {
      const std::string text = "The uninstaller needs administrator rights and could not be started with them "
                               "(error " + std::to_string(error) + ").  Nothing was removed.";
      MessageBoxA(nullptr, text.c_str(), "Screen Saver Uninstall", MB_OK | MB_ICONSTOP);
    }
    return kExitElevationRefused;
  }
  WaitForSingleObject(start.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(start.hProcess, &code);
  CloseHandle(start.hProcess);
  return static_cast<int>(code);
}

// Copies this program to the temporary directory and starts the copy with
// the finish command; the copy inherits a handle on this process to wait on.
bool StartFinishingCopy(const Environment& env, const UninstallPlace& place, bool userSettingsLeftToLauncher) {
  if (env.TempDirectory.empty()) return false;
  char copy[MAX_PATH];
  // Creates an empty file with a unique name, which the copy then replaces.
  if (GetTempFileNameA(env.TempDirectory.c_str(), "skU", 0, copy) == 0) return false;
  if (!CopyFileA(env.OwnPath.c_str(), copy, FALSE)) {
    DeleteFileA(copy);
    return false;
  }
  HANDLE self = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) {
    DeleteFileA(copy);
    return false;
  }
  const std::string line =
      FormatFinishCommandLine(copy, reinterpret_cast<std::uintptr_t>(self), place.TitleDirectory,
                              userSettingsLeftToLauncher);
  std::vector<char> commandLine(line.begin(), line.end());
  commandLine.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // The copy works from the temporary directory, so that no process keeps
  // the title directory as its current directory.
  const BOOL started = CreateProcessA(copy, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      env.TempDirectory.c_str(), &startup, &process);
  CloseHandle(self);
  if (!started) {
    DeleteFileA(copy);
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool MakePlace(const Environment& env, const std::string& titleDirectory, UninstallPlace* place) {
  if (MakeUninstallPlace(env.WindowsDirectory, titleDirectory, place)) return true;
  const std::string text =
      "This uninstaller removes a screen saver installed by Saverkit, and works only from that screen "
      "saver's own folder (in the Windows directory, under MARLOWEN\\VELDRAKE). It was given:\n    " +
      titleDirectory + "\n\nNothing was removed.";
  MessageBoxA(nullptr, text.c_str(), "Screen Saver Uninstall", MB_OK | MB_ICONSTOP);
  return false;
}

// `elevatedChild`: started by the launcher, which asked already and clears
// the user's settings itself.
int Start(const Environment& env, bool elevatedChild) {
  UninstallPlace place;
  if (!MakePlace(env, win32paths::LongPathForm(env.OwnDirectory), &place)) return 1;
  const std::string question =
      "Do you want to remove the " + place.Title + " screen saver and all of its files from this computer?";
  const std::string caption = place.Title + " Uninstall";
  if (!elevatedChild &&
      MessageBoxA(nullptr, question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return 0;
  WindowsSystem system;
  if (!elevatedChild && !RunsWithFullRights()) {
    const UserSettingsOfOurs ours = JudgeUserSettings(place, &system);  // before the file goes
    const int code = RunElevatedChild(env);
    if (code == 0) ClearUserSettings(ours, &system);
    return code;
  }
  if (StartFinishingCopy(env, place, elevatedChild)) return 0;
  ShowReport(place, RemoveInstallation(place, env.OwnPath, &system, !elevatedChild));
  return 0;
}

int Finish(const Environment& env, const FinishCommand& command) {
  if (!env.TempDirectory.empty()) SetCurrentDirectoryA(env.TempDirectory.c_str());
  HANDLE original = reinterpret_cast<HANDLE>(command.OriginalProcess);
  if (original) {
    WaitForSingleObject(original, kOriginalExitWait);
    CloseHandle(original);
  }
  int result = 1;
  UninstallPlace place;
  if (MakePlace(env, win32paths::LongPathForm(command.TitleDirectory), &place)) {
    WindowsSystem system;
    ShowReport(place, RemoveInstallation(place, std::string(), &system, !command.UserSettingsLeftToLauncher));
    result = 0;
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

}  // namespace

}  // namespace uninstaller

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  win32paths::RestrictDllSearchToSystem();
  const uninstaller::Environment env = uninstaller::ReadEnvironment();
  uninstaller::FinishCommand finish;
  if (uninstaller::ParseFinishCommand(commandLine ? commandLine : "", &finish)) return uninstaller::Finish(env, finish);
  const std::string arguments = commandLine ? commandLine : "";
  return uninstaller::Start(env, arguments == uninstaller::kElevatedChildSwitch);
}
