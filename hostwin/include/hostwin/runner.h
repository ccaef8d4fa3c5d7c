// Running a Win32 program's WinMain inside the stand-in, over a simulated
// machine kept in a folder, and collecting what a user would have seen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace hostwin {

using WinMainFunction = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);

struct RunOptions {
  std::string machineFolder;            // host folder holding the machine
  std::string imagePath;                // the program's image file on the host
  std::vector<std::string> answers;     // ok, cancel, yes, no, accept, decline, escape, close
  std::vector<unsigned char> resources; // the program's compiled resources (.res)
};

struct RunResult {
  int exitCode = 0;
  std::vector<std::string> transcript;  // one line per event, deterministic
};

// Runs `winMain` in a child process so that exit paths behave as on
// Windows, and returns its exit code and transcript.
RunResult RunProgram(const RunOptions& options, WinMainFunction winMain);

}  // namespace hostwin
