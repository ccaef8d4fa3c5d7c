// The stand-in runs behind saverkit verify.
#include "tool/preview/verification_machine.h"

#include <vector>

#include "hostwin/machine.h"
#include "tool/errors/failure.h"
#include "tool/preview/collect_effects.h"
#include "hostwin/runner.h"
#include "tool/preview/preview_answers.h"
#include "tool/preview/preview_run.h"

namespace preview {

struct VerificationMachine::State {
  PreviewMachine machine;
  hostwin::MachineSnapshot beforeInstall;
  hostwin::RunResult installation;
};

VerificationMachine::VerificationMachine(std::uint64_t writableBytes) : state_(std::make_unique<State>()) {
  std::string error;
  if (!PrepareMachine(state_->machine.folder(), &error, writableBytes))
    throw errors::Failure::Unfiled(error, errors::kExitDataError);
}

VerificationMachine::~VerificationMachine() = default;

bool VerificationMachine::Install(const std::string& image, InstallationRun* run, std::string* error) {
  const std::string& folder = state_->machine.folder();
  std::vector<std::string> answers;
  if (!DeriveAnswers(folder, image, {}, &answers, error)) return false;
  hostwin::MachineSettings settings;
  hostwin::LoadMachineSettings(folder, &settings, nullptr);
  state_->beforeInstall = hostwin::TakeSnapshot(folder);
  state_->installation = RunInstaller(folder, image, answers, {});
  const hostwin::RunResult& result = state_->installation;
  run->finished = !result.killed && !HasLoudError(result.transcript);
  run->lastLine = result.transcript.empty() ? std::string() : result.transcript.back();
  run->exitCode = result.killed ? -1 : result.exitCode;
  run->windowsDirectory = settings.windowsDirectory;
  run->installerCopy = hostwin::RunOptions().imageWindowsPath;
  run->effects = CollectEffects(folder, result);
  return true;
}

UninstallRun VerificationMachine::Uninstall() {
  const std::string& folder = state_->machine.folder();
  UninstallRun run;
  Uninstallation uninstallation;
  if (!RunRegisteredUninstall(folder, state_->installation, {}, &uninstallation, &run.error)) return run;
  run.ran = true;
  hostwin::RunResult difference = uninstallation.removal;
  run.exitCode = difference.killed ? -1 : difference.exitCode;
  difference.changes = hostwin::CompareSnapshots(state_->beforeInstall, hostwin::TakeSnapshot(folder));
  run.difference = CollectEffects(folder, difference);
  return run;
}

}  // namespace preview
