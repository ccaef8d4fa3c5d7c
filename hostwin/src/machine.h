// The state of the simulated Windows machine inside the running program:
// where drive C: lies on the host, the settings, the user's answers, the
// transcript channel, and the counters that the settings limit.
#pragma once

#include <windows.h>

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
};

MachineState& Machine();

// Sets the machine up inside the current process: reads the settings of
// `folder` and resets every counter. Used by the runner's child.
bool StartMachine(const std::string& folder, std::string* error);

// The registry path that HKEY_CURRENT_USER stands for: the running
// account's hive, "HKEY_USERS\<account>".
std::string CurrentUserHive();

// Forgets the registry read so far, so that the next access reads the
// machine's file again (after another process changed it).
void ForgetRegistry();

// Closes a process or token handle; false when `object` is neither.
bool CloseAccountHandle(HANDLE object);

// Maps a Windows path to the host. "C:\A\b.txt" (any case of drive letter
// and names) becomes a path inside the machine's drive folder, each
// component matched without regard to case (or by its 8.3 name) against
// what exists; a path without a drive letter is a host path and is returned
// unchanged. A path that begins with a backslash lies on drive C:. As on
// Windows, trailing dots and blanks of each name are dropped and ".." goes up
// one level (never above the drive's root).
std::string HostPathOf(const char* windowsPath);
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

// Case-insensitive comparison of ASCII texts, as Windows compares names.
bool SameText(const std::string& a, const std::string& b);
std::string UpperCase(std::string text);

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

// The writable bytes that remain before the disk is full.
std::uint64_t WritableBytesLeft();
void CountWritten(std::uint64_t bytes);

}  // namespace hostwin
