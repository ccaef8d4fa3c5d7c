// Running an installer image in the stand-in as saverkit preview and
// verify do: a machine folder (a fresh temporary one, or the user's), the
// answers of a normal installation found by trying, and the run itself.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hostwin/runner.h"
#include "tool/preview/exit_outcomes.h"

namespace preview {

// A fresh machine folder under the system's temporary directory, removed
// with everything in it when this object goes; or the user's folder, kept.
class PreviewMachine {
 public:
  // A temporary machine; throws errors::Failure when it cannot be made.
  PreviewMachine();
  // The user's machine folder, kept when this object goes.
  explicit PreviewMachine(std::string folder);
  ~PreviewMachine();
  PreviewMachine(const PreviewMachine&) = delete;
  PreviewMachine& operator=(const PreviewMachine&) = delete;

  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  bool temporary_ = false;
};

// The machine at `folder`, made complete with its settings (defaults and
// preview's disk of 256 MiB for a new one, of which at most `writableBytes`
// may be written in one run).
bool PrepareMachine(const std::string& folder, std::string* error,
                    std::uint64_t writableBytes = UINT64_MAX);

// Runs the installer's WinMain over the machine with `answers` and the
// installer's command line made of `switches`.
hostwin::RunResult RunInstaller(const std::string& machine, const std::string& image,
                                const std::vector<std::string>& answers,
                                const std::vector<std::string>& switches);

// One run of a program over a machine folder with the given answers.
using RunOnMachine =
    std::function<hostwin::RunResult(const std::string& machine, const std::vector<std::string>& answers)>;

// Answers that go through a normal run (yes to a Yes/No question, accept to
// the licence, ok to the rest), found by runs on copies of the machine;
// false with `error` when the program keeps asking.
bool DeriveAnswers(const std::string& machine, const RunOnMachine& run, std::vector<std::string>* answers,
                   std::string* error);
// The same for the installer's run.
bool DeriveAnswers(const std::string& machine, const std::string& image,
                   const std::vector<std::string>& switches, std::vector<std::string>* answers,
                   std::string* error);

// The uninstall command an installation registered, run as Windows runs it
// in the same machine (QuietUninstallString when the installer's switches
// hold /S, else UninstallString), answered as a user who goes on. The
// program run is Saverkit's own UNINSTAL.EXE code, whatever file the image
// put at its place. False with `error` when the installation registered no
// command or the uninstaller keeps asking.
struct Uninstallation {
  std::string command;        // as registered
  hostwin::RunResult removal;  // the uninstaller's run
};
bool RunRegisteredUninstall(const std::string& machine, const hostwin::RunResult& installation,
                            const std::vector<std::string>& switches, Uninstallation* uninstallation,
                            std::string* error);

}  // namespace preview
