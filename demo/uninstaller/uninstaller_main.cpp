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
#include <windows.h>

#include <string>
#include <vector>

#include "demo/common/win32_paths.h"
#include "demo/uninstaller/finish_command.h"
#include "demo/uninstaller/uninstall_plan.h"

namespace {

constexpr char kBootSection[] = "boot";
constexpr char kScreenSaverKey[] = "SCRNSAVE.EXE";
constexpr char kSystemIni[] = "system.ini";
constexpr std::size_t kMaxReportLines = 12;   // per list in the final message
constexpr DWORD kOriginalExitWait = 30000;    // ms the copy waits for the original
constexpr int kDeleteAttempts = 10;           // a file just closed may stay locked briefly
constexpr DWORD kDeleteRetryDelay = 200;      // ms

struct Environment {
  std::string WindowsDirectory;  // long form, as the system reports it
  std::string OwnPath;           // this program, long form
  std::string OwnDirectory;
  std::string TempDirectory;
};

struct Report {
  std::vector<std::string> NotRemoved;  // what should have gone but did not
  std::vector<std::string> LeftAlone;   // log lines outside what we own
};

std::string ShortForm(const std::string& path) {
  char result[MAX_PATH];
  const DWORD length = GetShortPathNameA(path.c_str(), result, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(result) : std::string();
}

Environment ReadEnvironment() {
  Environment env;
  char buffer[MAX_PATH];
  UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  if (length > 0 && length < MAX_PATH) env.WindowsDirectory = LongPathForm(buffer);
  DWORD moduleLength = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  if (moduleLength > 0 && moduleLength < MAX_PATH) {
    env.OwnPath = LongPathForm(buffer);
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

// INSTALL.LOG, read whole up to its limit. False when it cannot be read.
bool ReadInstallLog(const uninstall::UninstallPlace& place, std::string* text, bool* cut) {
  HANDLE file = CreateFileA(place.InstallLogPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  text->assign(uninstall::kMaxInstallLogBytes + 1, '\0');
  DWORD total = 0, read = 0;
  BOOL ok = TRUE;
  while (total < text->size() &&
         (ok = ReadFile(file, &(*text)[total], static_cast<DWORD>(text->size() - total), &read, nullptr)) && read > 0)
    total += read;
  CloseHandle(file);
  if (!ok) return false;
  *cut = total > uninstall::kMaxInstallLogBytes;
  text->resize(*cut ? uninstall::kMaxInstallLogBytes : total);
  return true;
}

// Whether the system's screen saver setting names this screen saver. Asked
// before anything is deleted: the short form of a path exists only while
// its file does.
bool SettingIsOurs(const uninstall::UninstallPlace& place) {
  char value[MAX_PATH] = "";
  GetPrivateProfileStringA(kBootSection, kScreenSaverKey, "", value, MAX_PATH, kSystemIni);
  const std::string setting = value;
  return uninstall::SettingNamesScreenSaver(setting, LongPathForm(setting), place.ScreenSaverPath,
                                            ShortForm(place.ScreenSaverPath));
}

// Removes what the installation left. `runningCopy` is this program's path
// when it is itself one of the installation's files and still running, so
// that it and its folder are reported instead of attempted.
void RemoveInstallation(const uninstall::UninstallPlace& place, const std::string& runningCopy, Report* report) {
  std::string log;
  bool cut = false;
  if (!ReadInstallLog(place, &log, &cut)) {
    report->NotRemoved.push_back(place.InstallLogPath + " could not be read, so the files it lists were not removed");
    log.clear();
  } else if (cut) {
    report->NotRemoved.push_back(place.InstallLogPath + " is too long: only the files at its beginning were removed");
  }
  const uninstall::RemovalPlan plan = uninstall::PlanRemoval(place, log);
  const bool settingIsOurs = SettingIsOurs(place);

  const std::size_t reportedBefore = report->NotRemoved.size();
  for (const std::string& path : plan.Deletions) {
    if (!runningCopy.empty() && uninstall::SamePath(path, runningCopy)) {
      report->NotRemoved.push_back(path + " (in use by this uninstaller)");
      continue;
    }
    if (!DeleteWithRetry(path)) report->NotRemoved.push_back(path);
  }
  report->LeftAlone = plan.LeftAlone;
  // While a listed file remains, the log stays too, so that running the
  // uninstaller again can finish the job.
  const bool allDeleted = report->NotRemoved.size() == reportedBefore;
  if (allDeleted && !DeleteWithRetry(place.InstallLogPath)) report->NotRemoved.push_back(place.InstallLogPath);

  const LONG keyResult = RegDeleteKeyA(HKEY_LOCAL_MACHINE, place.UninstallKeyName.c_str());
  if (keyResult != ERROR_SUCCESS && keyResult != ERROR_FILE_NOT_FOUND)
    report->NotRemoved.push_back("registry key HKEY_LOCAL_MACHINE\\" + place.UninstallKeyName);

  if (settingIsOurs) {
    // A NULL value deletes the key: no screen saver is set any more.
    WritePrivateProfileStringA(kBootSection, kScreenSaverKey, nullptr, kSystemIni);
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
  }

  // The title directory must go; its parents go only when no other
  // screen saver of the maker lives there, which RemoveDirectoryA checks.
  const std::vector<std::string> directories = uninstall::DirectoriesToRemove(place);
  if (!RemoveDirectoryWithRetry(directories[0])) {
    report->NotRemoved.push_back(directories[0]);
    return;
  }
  for (std::size_t i = 1; i < directories.size(); ++i)
    if (!RemoveDirectoryA(directories[i].c_str())) break;
}

void AppendList(std::string* text, const char* heading, const std::vector<std::string>& items) {
  if (items.empty()) return;
  *text += heading;
  for (std::size_t i = 0; i < items.size() && i < kMaxReportLines; ++i) *text += "\n    " + items[i];
  if (items.size() > kMaxReportLines)
    *text += "\n    ... and " + std::to_string(items.size() - kMaxReportLines) + " more";
  *text += "\n";
}

void ShowReport(const uninstall::UninstallPlace& place, const Report& report) {
  const std::string caption = place.Title + " Uninstall";
  if (report.NotRemoved.empty() && report.LeftAlone.empty()) {
    const std::string text = "The " + place.Title + " screen saver has been removed.";
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  std::string text = "The " + place.Title + " screen saver has been removed, except for the following.\n";
  AppendList(&text, "\nCould not be removed:", report.NotRemoved);
  AppendList(&text, "\nListed in INSTALL.LOG but outside this screen saver's folders, so left alone:",
             report.LeftAlone);
  MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
}

// Copies this program to the temporary directory and starts the copy with
// the finish command; the copy inherits a handle on this process to wait on.
bool StartFinishingCopy(const Environment& env, const uninstall::UninstallPlace& place) {
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
      uninstall::FormatFinishCommandLine(copy, reinterpret_cast<std::uintptr_t>(self), place.TitleDirectory);
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

bool MakePlace(const Environment& env, const std::string& titleDirectory, uninstall::UninstallPlace* place) {
  if (uninstall::MakeUninstallPlace(env.WindowsDirectory, titleDirectory, place)) return true;
  const std::string text =
      "This uninstaller removes a screen saver installed by Saverkit, and works only from that screen "
      "saver's own folder (in the Windows directory, under MARLOWEN\\VELDRAKE). It was given:\n    " +
      titleDirectory + "\n\nNothing was removed.";
  MessageBoxA(nullptr, text.c_str(), "Screen Saver Uninstall", MB_OK | MB_ICONSTOP);
  return false;
}

int Start(const Environment& env) {
  uninstall::UninstallPlace place;
  if (!MakePlace(env, LongPathForm(env.OwnDirectory), &place)) return 1;
  const std::string question =
      "Do you want to remove the " + place.Title + " screen saver and all of its files from this computer?";
  const std::string caption = place.Title + " Uninstall";
  if (MessageBoxA(nullptr, question.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
    return 0;
  if (StartFinishingCopy(env, place)) return 0;
  Report report;
  RemoveInstallation(place, env.OwnPath, &report);
  ShowReport(place, report);
  return 0;
}

int Finish(const Environment& env, const uninstall::FinishCommand& command) {
  if (!env.TempDirectory.empty()) SetCurrentDirectoryA(env.TempDirectory.c_str());
  HANDLE original = reinterpret_cast<HANDLE>(command.OriginalProcess);
  if (original) {
    WaitForSingleObject(original, kOriginalExitWait);
    CloseHandle(original);
  }
  int result = 1;
  uninstall::UninstallPlace place;
  if (MakePlace(env, LongPathForm(command.TitleDirectory), &place)) {
    Report report;
    RemoveInstallation(place, std::string(), &report);
    ShowReport(place, report);
    result = 0;
  }
  // This copy in the temporary directory cannot delete itself while it
  // runs: Windows deletes it when it next starts. A finish command given
  // to a program outside the temporary directory leaves the program be.
  std::string temp = LongPathForm(env.TempDirectory);
  if (!temp.empty() && temp.back() == '\\') temp.pop_back();
  if (!temp.empty() && lstrcmpiA(temp.c_str(), env.OwnDirectory.c_str()) == 0)
    MoveFileExA(env.OwnPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return result;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  RestrictDllSearchToSystem();
  const Environment env = ReadEnvironment();
  uninstall::FinishCommand finish;
  if (uninstall::ParseFinishCommand(commandLine ? commandLine : "", &finish)) return Finish(env, finish);
  return Start(env);
}
