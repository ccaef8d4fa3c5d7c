// Running a Win32 program's WinMain inside the stand-in, over a simulated
// machine kept in a folder (hostwin/machine.h), answering its questions from
// a list, and collecting what a user would have seen (hostwin/transcript.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "hostwin/machine.h"

namespace hostwin {

using WinMainFunction = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);

// A program of the machine: CreateProcessA and ShellExecuteExA "runas" of
// its file, or of a copy of it, call `entry` in a new process.
struct ProgramFile {
  std::string windowsPath;  // its file in the machine when the run starts
  WinMainFunction entry;
};

struct RunOptions {
  std::string machineFolder;  // host folder holding the machine (CreateMachine)
  // The program's image file on the host. When set, it is copied into the
  // machine at imageWindowsPath before the run; either way
  // GetModuleFileNameA reports imageWindowsPath, so _lopen and fopen of that
  // name open the copy.
  std::string imagePath;
  std::string imageWindowsPath = "C:\\DOWNLOAD\\SETUP.EXE";
  // One answer per message box or dialog that waits for the user, in order:
  // ok, cancel, yes, no, accept, decline, escape, close.
  std::vector<std::string> answers;
  // The program's compiled resources (.res file bytes, as windres -O res
  // writes them): dialog templates and icons. See cmake/resources.cmake.
  std::vector<unsigned char> resources;
  std::string commandLine;        // the lpCmdLine that WinMain receives
  int showCommand = SW_SHOWDEFAULT;
  int timeoutSeconds = 60;        // the program is killed after this long
  // The machine's programs (the program itself is always one). A start of
  // any other file fails with ERROR_FILE_NOT_FOUND and a line saying so.
  std::vector<ProgramFile> programs;
};

struct RunResult {
  int exitCode = -1;                    // the program's exit code (WinMain's result, ExitProcess's
                                        // code; exit() called directly is seen modulo 256)
  bool killed = false;                  // ended by a signal or the timeout (exitCode -1)
  std::vector<std::string> transcript;  // one line per event; the last is "exit N"
  std::size_t answersUsed = 0;
  int loudErrors = 0;                   // lines that begin with "!! "
  std::vector<MachineChange> changes;   // what the run changed in the machine
};

// Runs `winMain` in a child process, so that exit(), ExitProcess and the C
// runtime's exit behave as on Windows, with (instance, NULL, commandLine,
// showCommand). Transcript lines stream from the child as they happen, so a
// program that exits in the middle still delivers them; the runner then adds
// a line for answers left over ("!! answers left unused: ...") and the exit
// line. The machine's changes are found by comparing snapshots taken before
// (after the image was placed) and after the run.
RunResult RunProgram(const RunOptions& options, WinMainFunction winMain);

// The transcript as one text, one line each, "\n"-terminated (for test
// failure messages and `saverkit preview`).
std::string JoinTranscript(const std::vector<std::string>& lines);

// Reads a compiled resource file (.res) into a byte vector; empty on error.
std::vector<unsigned char> ReadResourceFile(const std::string& hostPath);

}  // namespace hostwin
