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
//
// Like the installer it keeps to the C runtime and Win32: fixed buffers
// (260-byte paths), bounded text operations, plain return values.
#include "demo/uninstaller/uninstaller.h"

#include <cstring>

#include "core/format/exit_codes.h"
#include "core/text/bounded_text.h"
#include "demo/uninstaller/finish_command.h"
#include "demo/uninstaller/uninstall_plan.h"
#include "demo/uninstaller/uninstall_run.h"
#include "demo/win32paths/win32_paths.h"
#include "installer/rights/account_rights.h"

using format::kPathBufferSize;
using text::AppendText;
using text::CopyText;

namespace uninstaller {

namespace {

constexpr char kGenericCaption[] = "Screen Saver Uninstall";
// A caption: the title (at most a path's length) and " Uninstall".
constexpr std::size_t kCaptionSize = kPathBufferSize + 16;
// A question or refusal: a path or two and a sentence around them.
constexpr std::size_t kMessageSize = kMaxFinishArgumentsLength + 512;

// Each path empty when the system could not give it whole.
struct Environment {
  char WindowsDirectory[kPathBufferSize];  // long form, as the system reports it
  char OwnPath[kPathBufferSize];           // this program, long form
  char OwnDirectory[kPathBufferSize];
  char TempDirectory[kPathBufferSize];     // as GetTempPathA gives it, with its trailing backslash
};

// The report, which the finishing copy and a removal here fill: one per process.
UninstallReport g_report;

void ReadEnvironment(Environment* env) {
  std::memset(env, 0, sizeof *env);
  char buffer[kPathBufferSize];
  UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer &&
      !win32paths::LongPathForm(buffer, env->WindowsDirectory, sizeof env->WindowsDirectory))
    env->WindowsDirectory[0] = '\0';
  const DWORD moduleLength = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  if (moduleLength > 0 && moduleLength < sizeof buffer &&
      win32paths::LongPathForm(buffer, env->OwnPath, sizeof env->OwnPath)) {
    text::CopyText(env->OwnDirectory, env->OwnPath);
    char* slash = std::strrchr(env->OwnDirectory, '\\');
    if (slash) *slash = '\0';
    else env->OwnDirectory[0] = '\0';
  }
  length = GetTempPathA(sizeof env->TempDirectory, env->TempDirectory);
  if (length == 0 || length >= sizeof env->TempDirectory) env->TempDirectory[0] = '\0';
}

// The report, shown unless silent; the exit code.
int Report(const UninstallPlace& place, const UninstallReport& report, bool silent) {
  if (!silent) {
    static char message[kReportTextSize];
    char caption[kCaptionSize];
    bool warning = false;
    FormatReport(place, report, message, &warning);
    CopyText(caption, place.Title) && AppendText(caption, " Uninstall");
    MessageBoxA(nullptr, message, caption, MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
  }
  return ExitCodeOf(report);
}

// Starts this program elevated as the child (with /S when silent) and
// returns its exit code, or the elevation-refused code when it did not run
// (refused, with a message when not by the user and not silent).
int RunElevatedChild(bool silent) {
  char parameters[32];
  CopyText(parameters, kElevatedChildSwitch) && AppendText(parameters, silent ? " /S" : "");
  DWORD code = 0;
  DWORD error = 0;
  switch (rights::RunElevatedSelf(parameters, &code, &error)) {
    case rights::Elevation::kRan: return static_cast<int>(code);
    case rights::Elevation::kRefused: return format::kExitElevationRefused;
    case rights::Elevation::kFailed: break;
  }
  if (!silent) {
    char message[kMessageSize];
    CopyText(message, "The uninstaller needs administrator rights and could not be started with them (error ") &&
        text::AppendNumber(message, static_cast<unsigned long>(error)) &&
        AppendText(message, ").  Nothing was removed.");
    MessageBoxA(nullptr, message, kGenericCaption, MB_OK | MB_ICONSTOP);
  }
  return format::kExitElevationRefused;
}

// Copies this program to the temporary directory, starts the copy with the
// finish command, waits for it and gives its exit code. False when no copy
// can be started.
bool RunFinishingCopy(const Environment& env, const UninstallPlace& place, bool silent,
                      bool userSettingsLeftToLauncher, int* exitCode) {
  if (env.TempDirectory[0] == '\0' || env.OwnPath[0] == '\0') return false;
  char copy[MAX_PATH];
  // Creates an empty file with a unique name, which the copy then replaces.
  if (GetTempFileNameA(env.TempDirectory, "skU", 0, copy) == 0) return false;
  char commandLine[kFinishLineSize];
  if (!FormatFinishCommandLine(commandLine, sizeof commandLine, copy, place.TitleDirectory, silent,
                               userSettingsLeftToLauncher) ||
      !CopyFileA(env.OwnPath, copy, FALSE)) {
    DeleteFileA(copy);
    return false;
  }
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  // The copy works from the temporary directory, so that no process keeps
  // the title directory as its current directory.
  if (!CreateProcessA(copy, commandLine, nullptr, nullptr, FALSE, 0, nullptr, env.TempDirectory, &startup,
                      &process)) {
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

bool MakePlace(const Environment& env, const char* titleDirectory, bool silent, UninstallPlace* place) {
  if (MakeUninstallPlace(env.WindowsDirectory, titleDirectory, place)) return true;
  if (!silent) {
    char message[kMessageSize];
    // The given folder is at most kMaxFinishArgumentsLength long: the message holds it.
    CopyText(message,
             "This uninstaller removes a screen saver installed by Saverkit, and works only from that screen "
             "saver's own folder (in the Windows directory, under MARLOWEN\\VELDRAKE). It was given:\n    ") &&
        AppendText(message, titleDirectory) && AppendText(message, "\n\nNothing was removed.");
    MessageBoxA(nullptr, message, kGenericCaption, MB_OK | MB_ICONSTOP);
  }
  return false;
}

// The question before anything is removed; true for Yes.
bool AskRemoval(const UninstallPlace& place) {
  char question[kMessageSize];
  char caption[kCaptionSize];
  CopyText(question, "Do you want to remove the ") && AppendText(question, place.Title) &&
      AppendText(question, " screen saver and all of its files from this computer?");
  CopyText(caption, place.Title) && AppendText(caption, " Uninstall");
  return MessageBoxA(nullptr, question, caption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

int Start(const Environment& env, const UserArguments& user) {
  static UninstallPlace place;
  char ownDirectory[kPathBufferSize];
  // Not its own folder: nothing is removed, so nothing logged was.
  if (!win32paths::LongPathForm(env.OwnDirectory, ownDirectory, sizeof ownDirectory) ||
      !MakePlace(env, ownDirectory, user.Silent, &place))
    return format::kExitFilesFailed;
  if (!user.ElevatedChild && !rights::RunsWithFullRights()) {
    // The launcher: it asks, notes which of this user's settings name the
    // screen saver (before its file goes), lets the elevated child remove
    // the rest, and clears them when the child removed everything.
    if (!user.Silent && !AskRemoval(place)) return format::kExitCancelled;
    const UserSettingsOfOurs ours = JudgeUserSettings(place);
    const int code = RunElevatedChild(user.Silent);
    if (code == format::kExitInstalled) ClearUserSettings(ours);
    return code;
  }
  // An elevated child does not ask again: its launcher asked.
  if (!user.Silent && !user.ElevatedChild && !AskRemoval(place)) return format::kExitCancelled;
  int code = format::kExitInstalled;
  if (RunFinishingCopy(env, place, user.Silent, user.ElevatedChild, &code)) return code;
  RemoveInstallation(place, env.OwnPath, !user.ElevatedChild, env.TempDirectory, &g_report);
  return Report(place, g_report, user.Silent);
}

int Finish(const Environment& env, const FinishCommand& command) {
  if (env.TempDirectory[0] != '\0') SetCurrentDirectoryA(env.TempDirectory);
  int result = format::kExitFilesFailed;
  static UninstallPlace place;
  char titleDirectory[kPathBufferSize];
  const char* given = win32paths::LongPathForm(command.TitleDirectory, titleDirectory, sizeof titleDirectory)
                          ? titleDirectory
                          : command.TitleDirectory;
  if (MakePlace(env, given, command.Silent, &place)) {
    RemoveInstallation(place, nullptr, !command.UserSettingsLeftToLauncher, env.TempDirectory, &g_report);
    result = Report(place, g_report, command.Silent);
  }
  // This copy in the temporary directory cannot delete itself while it
  // runs: Windows deletes it when it next starts. A finish command given
  // to a program outside the temporary directory leaves the program be.
  char temp[kPathBufferSize];
  if (env.TempDirectory[0] != '\0' && win32paths::LongPathForm(env.TempDirectory, temp, sizeof temp)) {
    const std::size_t length = std::strlen(temp);
    if (length > 0 && temp[length - 1] == '\\') temp[length - 1] = '\0';
    if (temp[0] != '\0' && lstrcmpiA(temp, env.OwnDirectory) == 0)
      MoveFileExA(env.OwnPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  return result;
}

// /? or an argument not understood: the switches in a box (none with /S).
int RefuseArguments(const UserArguments& arguments) {
  if (!arguments.Silent) {
    char message[kMessageSize] = "";
    if (arguments.Unknown[0] != '\0')
      CopyText(message, "Unknown argument: ") && AppendText(message, arguments.Unknown) && AppendText(message, "\n\n");
    AppendText(message,
                     "Switches:\n\n/S\tRemove without asking and without messages.\n/?\tShow this message.\n\n"
                     "Exit codes:\n");
    for (const format::ExitCodeMeaning& meaning : format::kExitCodeMeanings) {
      if (meaning.uninstaller == nullptr) continue;
      text::AppendNumber(message, static_cast<unsigned long>(meaning.code)) && AppendText(message, "\t") &&
          AppendText(message, meaning.uninstaller) && AppendText(message, "\n");
    }
    MessageBoxA(nullptr, message, kGenericCaption,
                MB_OK | (arguments.Unknown[0] == '\0' ? MB_ICONINFORMATION : MB_ICONSTOP));
  }
  return format::kExitBadArguments;
}

}  // namespace

int Main(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  win32paths::RestrictDllSearchToSystem();
  static Environment env;
  ReadEnvironment(&env);
  const char* arguments = commandLine ? commandLine : "";
  static FinishCommand finish;
  if (ParseFinishCommand(arguments, &finish)) return Finish(env, finish);
  static UserArguments user;
  ParseUserArguments(arguments, &user);
  if (user.Bad()) return RefuseArguments(user);
  return Start(env, user);
}

}  // namespace uninstaller
