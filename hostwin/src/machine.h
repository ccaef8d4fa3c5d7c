// The simulated Windows machine behind the stand-in: where drive C: lies on
// the host, and which image file is the running program.
#pragma once

#include <string>

namespace hostwin {

struct MachineState {
  std::string driveCFolder;  // host folder that is drive C:; empty: no machine
  std::string modulePath;    // what GetModuleFileNameA reports for the program
};

MachineState& Machine();

// Maps a Windows path to the host. "C:\A\b.txt" (any case of drive letter
// and names) becomes a path inside the machine's drive C: folder, each
// component matched without regard to case against what exists; a path
// without a drive letter is a host path and is returned unchanged.
std::string HostPathOf(const char* windowsPath);

}  // namespace hostwin
