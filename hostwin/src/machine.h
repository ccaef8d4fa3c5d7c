// The state of the simulated Windows machine inside the running program:
// where drive C: lies on the host, the settings, the user's answers, the
// transcript channel, and the counters that the settings limit.
#pragma once

#include <windows.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hostwin/machine.h"

namespace hostwin {

// The program's module handle: its image's usual base address.
constexpr std::uintptr_t kProgramInstance = 0x00400000;

struct MachineState {
  std::string folder;         // the machine folder; empty: no machine set up
  std::string driveCFolder;   // host folder that is drive C:
  std::string modulePath;     // what GetModuleFileNameA reports for the program
  MachineSettings settings;
  std::vector<unsigned char> resources;  // the program's .res bytes
  std::vector<std::string> answers;
  std::size_t nextAnswer = 0;
  int channel = -1;           // pipe to the runner; -1: lines go to `captured`
  std::vector<std::string> captured;
  DWORD lastError = 0;
  std::uint64_t bytesWritten = 0;  // counted against settings.writableBytes
  int localAllocCalls = 0;
  int globalAllocCalls = 0;
  int liveBlocks = 0;         // LocalAlloc/GlobalAlloc blocks not yet freed
  // The process's account and token: the starting user's at first, the
  // elevating account's (with a full token) in a process ShellExecuteExA
  // "runas" started.
  std::string account = "Owner";
  bool fullToken = true;
  // The program's entry, which a "runas" of the program itself calls again
  // in a new process; null outside the runner.
  int (*program)(HINSTANCE, HINSTANCE, LPSTR, int) = nullptr;
  int showCommand = SW_SHOWDEFAULT;
  // The programs of the machine, known by their files' contents (so that a
  // copy runs the same entry), which CreateProcessA and ShellExecuteExA run.
  struct KnownProgram {
    std::string contents;
    int (*entry)(HINSTANCE, HINSTANCE, LPSTR, int);
  };
  std::vector<KnownProgram> programs;
  // The image files of this process and of the processes waiting for it
  // (host device and inode, which a rename keeps): Windows deletes no
  // running program's file, but renames it.
  std::vector<std::pair<dev_t, ino_t>> runningImages;
  std::string currentDirectory;  // SetCurrentDirectoryA's, or CreateProcessA's
};

MachineState& Machine();

// Sets the machine up inside the current process: reads the settings of
// `folder` and resets every counter. Used by the runner's child.
bool StartMachine(const std::string& folder, std::string* error);

// A host descriptor, closed when it goes out of scope.
class HostFd {
 public:
  HostFd() = default;
  explicit HostFd(int fd) : fd_(fd) {}
  HostFd(HostFd&& other) noexcept : fd_(other.Release()) {}
  HostFd& operator=(HostFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  HostFd(const HostFd&) = delete;
  HostFd& operator=(const HostFd&) = delete;
  ~HostFd() { Reset(); }
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// A Windows path of the machine, resolved from the machine folder one name
// at a time: every folder on the way is opened with openat(O_NOFOLLOW |
// O_DIRECTORY) from the one before, so no link inside the machine folder is
// ever followed, and the last name is used through `folder` with the *at
// calls (O_NOFOLLOW, AT_SYMLINK_NOFOLLOW). The machine folder itself is the
// user's to name and may be reached through a link.
//
// A link met on the way, or standing at the last name, makes the entry
// unusable with ELOOP, which every API reports as ERROR_ACCESS_DENIED: the
// name is there but cannot be used, as Windows says of a file it may not
// touch, and the installer treats it as any file it could not write.
struct MachineEntry {
  HostFd folder;     // the folder holding `name`; closed when the walk stopped short
  std::string name;  // the last name as it exists (or as given when it does not)
  std::string host;  // the host path, for messages and tests
  // 0, or why the entry cannot be used: ELOOP for a link; ENOENT or ENOTDIR
  // when a folder on the way is missing or is a file (ERROR_PATH_NOT_FOUND).
  int error = 0;
  bool Usable() const { return error == 0; }
};

// Resolves a Windows path. "C:\A\b.txt" (any case of drive letter and
// names) lies inside the machine's drive folder, each name matched without
// regard to case (or by its 8.3 name) against what exists. A path that
// begins with a backslash lies on drive C:. As on Windows, trailing dots and
// blanks of each name are dropped and ".." goes up one level (never above
// the drive's root). A path on no drive is a host path (the tests' own
// images), its folder opened as given.
MachineEntry ResolveMachinePath(const std::string& machineFolder, const char* windowsPath);
MachineEntry ResolvePath(const char* windowsPath);  // in the running machine
// A file of the machine folder itself ("machine.ini", "registry.reg"),
// never through a link either.
MachineEntry MachineFolderFile(const std::string& machineFolder, const std::string& name);

// The entry opened with openat(O_NOFOLLOW | O_CLOEXEC | flags); -1 with
// errno set (the entry's own error when it is not usable).
int OpenEntry(const MachineEntry& entry, int flags, mode_t mode = 0644);
// fstatat without following; false with errno set (ELOOP for a link).
bool StatEntry(const MachineEntry& entry, struct stat* status);
// Whole files through OpenEntry: read; written in place, created when missing.
bool ReadEntry(const MachineEntry& entry, std::string* text);
bool WriteEntry(const MachineEntry& entry, const std::string& text);

// Creates `windowsPath` and each missing folder on its way in the machine
// at `machineFolder`; a link on the way is left as it is, nothing made
// through it (true).
bool MakeMachineDirectories(const std::string& machineFolder, const std::string& windowsPath);

// A listing of the open folder `folder` (its own descriptor, so the walk's
// stays where it is); nullptr when it cannot be listed.
DIR* OpenListing(int folder);

// The registry path that HKEY_CURRENT_USER stands for: the running
// account's hive, "HKEY_USERS\<account>".
std::string CurrentUserHive();

// Forgets the registry read so far, so that the next access reads the
// machine's file again (after another process changed it).
void ForgetRegistry();

// Closes a process or token handle; false when `object` is neither.
bool CloseAccountHandle(HANDLE object);

// ------------------------------------------------------------- processes
using ProgramEntry = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);

// The entry of the program whose file is at `windowsPath` (the running
// program's own image included); null when the file is none of them.
ProgramEntry ProgramOfFile(const std::string& windowsPath);

// Runs `entry` in a new process (a fork) as `account`, its module
// `modulePath`, with WinMain's command line `arguments`, and returns its
// exit code (-1 when it ended without one). The new process's transcript
// lines are passed on marked "child: ", its answers counted as this
// process's too; afterwards this process reads the registry afresh.
int RunProcess(ProgramEntry entry, const std::string& modulePath, const std::string& account, bool fullToken,
               const std::string& arguments, const std::string& currentDirectory);

// A handle for a process that has ended with `code`, for
// WaitForSingleObject, GetExitCodeProcess and CloseHandle.
HANDLE EndedProcessHandle(int code);
bool CloseProcessHandle(HANDLE object);

// Notes the file at `windowsPath` as a running program's image.
void NoteRunningImage(const std::string& windowsPath);
bool IsRunningImage(const MachineEntry& entry);

// The temporary directory of an account, with its trailing backslash:
// C:\Users\<account>\AppData\Local\Temp\, and the Windows directory's
// Temp for SYSTEM.
std::string TempDirectoryOf(const MachineSettings& settings, const std::string& account);

// The host path a Windows path resolves to (ResolveMachinePath's `host`).
std::string MapPath(const std::string& machineFolder, const char* windowsPath);

// True when `path` names something on a drive of the machine.
bool IsMachinePath(const char* path);

// True when a machine path holds a character Windows refuses in names
// (< > : " | ? * or a control character) after its drive.
bool HasInvalidNameCharacter(const char* path);

// The Windows directory and the system directory, as the settings give them.
std::string WindowsDirectory();
std::string SystemDirectory();

// Joins a directory and a name with one backslash between them.
std::string JoinWindowsPath(const std::string& directory, const std::string& name);

// Case-insensitive comparison of Windows-1252 texts, as Windows compares
// file names (text::SameWindowsName), and the folded form used as a key.
bool SameText(const std::string& a, const std::string& b);
std::string UpperCase(std::string name);

// Transcript: one line per event (see hostwin/transcript.h).
void Emit(const std::string& line);
void Loud(const std::string& line);  // "!! " + line
std::string Quoted(const std::string& text);  // "\"" + TranscriptText + "\""

// The next answer of the user, or empty when none is left; noted to the
// runner as used.
std::string TakeAnswer();

// Ends the program with `code`, telling the runner the whole 32-bit code
// (a host exit status keeps only its low 8 bits).
[[noreturn]] void ExitProgram(int code);

// "YYYY-MM-DD" (a real calendar date, years 1601 to 30827 as SYSTEMTIME
// holds them) into its parts; false for anything else.
bool ParseLocalDate(const std::string& text, int* year, int* month, int* day);

// The writable bytes that remain before the disk is full.
std::uint64_t WritableBytesLeft();
void CountWritten(std::uint64_t bytes);

}  // namespace hostwin
