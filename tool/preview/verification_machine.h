// A fresh stand-in machine on which saverkit verify installs an image and
// then runs the uninstall command the installation registered. What the
// runs did comes back as plain data (effects), so that verify itself needs
// nothing of the stand-in: it judges, this runs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tool/preview/effects.h"

namespace preview {

struct InstallationRun {
  // False when the installer was killed or stopped at a prompt it had no
  // answer for; `lastLine` then says where.
  bool finished = false;
  std::string lastLine;
  int exitCode = -1;
  std::string windowsDirectory;  // the machine's, as the installer got it
  std::string installerCopy;     // where the image lay for the run (C:\DOWNLOAD\SETUP.EXE)
  InstallationEffects effects;
};

struct UninstallRun {
  bool ran = false;
  std::string error;  // when it did not run: no command registered, or it keeps asking
  int exitCode = -1;  // the uninstaller's; -1 when it was killed
  // The machine after the uninstallation against the machine before the
  // installation: what stayed, was changed or is gone.
  InstallationEffects difference;
};

class VerificationMachine {
 public:
  // A temporary machine whose disk takes at most `writableBytes` in one
  // run; throws errors::Failure when it cannot be made.
  explicit VerificationMachine(std::uint64_t writableBytes);
  ~VerificationMachine();
  VerificationMachine(const VerificationMachine&) = delete;
  VerificationMachine& operator=(const VerificationMachine&) = delete;

  // Installs `image` (an absolute path) answering as a user who goes on;
  // false with `error` when no answers take it through.
  bool Install(const std::string& image, InstallationRun* run, std::string* error);
  // After Install: the registered uninstall command, answered the same way.
  UninstallRun Uninstall();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace preview
