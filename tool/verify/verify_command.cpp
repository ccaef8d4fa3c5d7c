// saverkit verify: exit status 0 when everything holds, 1 on a finding
// (each printed on a line of its own), 2 on trouble: an image that cannot
// be read or is damaged, an installer program that is not one of our
// releases (the stand-in runs our installer's sources, so it speaks for
// nothing else), or an installation that did not finish.
#include "tool/verify/verify_command.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "tool/commands/command_failure.h"
#include "tool/commands/text_output.h"
#include "tool/preview/effects.h"
#include "tool/preview/exit_outcomes.h"
#include "tool/preview/run_limits.h"
#include "tool/preview/verification_machine.h"
#include "saverkit/image.h"
#include "tool/reader/work_budget.h"
#include "tool/verify/installed_files.h"
#include "tool/verify/placement_rule.h"
#include "tool/verify/release_identity.h"
#include "tool/verify/uninstall_check.h"

namespace verify {

namespace {

namespace fs = std::filesystem;
using errors::Failure;

constexpr int kExitVerified = 0;
constexpr int kExitFinding = 1;
constexpr int kExitTrouble = 2;

// Texts from the image reach the terminal escaped, as preview's do.
void PrintLine(const std::string& line) { std::printf("%s\n", commands::Printable(line).c_str()); }

saverkit::Image ReadOurImage(const std::string& path) {
  std::error_code code;
  if (!fs::is_regular_file(path, code)) throw Failure(path, "no such file", kExitTrouble);
  try {
    saverkit::Image image = saverkit::Image::Open(path);
    if (image.tableCutShort())
      throw Failure(path, "damaged: the entry table runs past the end of the file", kExitTrouble);
    if (image.signature().state == saverkit::SignatureState::kDamaged)
      throw Failure(path, "damaged: " + image.signature().damage, kExitTrouble);
    const std::string tooMany = preview::TooManyEntriesToRun(image.entries().size());
    if (!tooMany.empty()) throw Failure(path, tooMany, kExitTrouble);
    const std::string& identity = image.installerIdentity();
    if (!IsOurInstallerProgram(identity)) {
      throw Failure(path,
                    (identity.empty() ? std::string("its installer program carries no identity of ours")
                                      : "its installer program is \"" + identity + "\"") +
                        ", not one of our releases; nothing verified",
                    kExitTrouble);
    }
    return image;
  } catch (const saverkit::Error& error) {
    throw Failure(error.file().empty() ? path : error.file(), error.what(), kExitTrouble);
  }
}

int RunVerify(const std::string& path) {
  const saverkit::Image image = ReadOurImage(path);
  std::error_code code;
  const std::string absolute = fs::absolute(path, code).string();

  // A fresh machine, answered as a user who goes on: yes, accept, ok. Its
  // disk takes no more than the tool's work budget for the image: an
  // installation of honest entries never writes that much, and a bomb
  // stops there (the installer's short write is then a finding) instead of
  // writing hundreds of megabytes in each run that finds the answers.
  preview::VerificationMachine machine(reader::WorkBudget(image.fileSize()).limit());
  preview::InstallationRun run;
  std::string error;
  if (!machine.Install(absolute, &run, &error)) throw Failure(path, error, kExitTrouble);
  if (!run.finished)
    throw Failure(path, "the installation did not finish in the stand-in: " + run.lastLine, kExitTrouble);
  const preview::InstallationEffects& effects = run.effects;
  PrintLine("installer program: " + image.installerIdentity() + ", one of our releases");
  PrintLine("installed in a fresh stand-in machine: exit code " + std::to_string(run.exitCode) + " (" +
            preview::InstallerExitMeaning(run.exitCode) + ")");

  std::vector<std::string> findings;
  if (preview::InstallerFailed(run.exitCode))
    findings.push_back("the installer ended with exit code " + std::to_string(run.exitCode) + " (" +
                       preview::InstallerExitMeaning(run.exitCode) + ")");
  const std::vector<std::string> misplaced =
      MisplacedEffects(effects, {run.windowsDirectory, image.title(), run.installerCopy});
  findings.insert(findings.end(), misplaced.begin(), misplaced.end());
  InstalledFilesReport files;
  try {
    files = CheckInstalledFiles(image, effects, run.windowsDirectory);
  } catch (const saverkit::Error& error) {
    throw Failure(path, error.what(), kExitTrouble);
  }
  findings.insert(findings.end(), files.findings.begin(), files.findings.end());

  InstalledUninstaller uninstaller;
  uninstaller.kept = files.uninstallerKept;
  uninstaller.bytes = std::move(files.uninstaller);
  const UninstallOutcome uninstall = CheckUninstall(machine, run.installerCopy, uninstaller);
  findings.insert(findings.end(), uninstall.findings.begin(), uninstall.findings.end());

  for (const std::string& finding : findings) PrintLine("finding: " + finding);
  for (const std::string& note : files.notes) PrintLine("note: " + note);
  if (!uninstall.checked) PrintLine(uninstall.note);
  else if (uninstall.findings.empty()) PrintLine("uninstall: the machine is back as it was");
  const std::size_t effectCount = effects.files.size() + effects.registry.size() + effects.ini.size();
  if (findings.empty()) {
    PrintLine(path + ": verified: " + std::to_string(files.checked) + " installed files hold their entries' bytes, " +
              std::to_string(effectCount) + " changes lie where an installer of this kind writes");
    return kExitVerified;
  }
  PrintLine(path + ": " + std::to_string(findings.size()) + (findings.size() == 1 ? " finding" : " findings"));
  return kExitFinding;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, int& exitStatus) {
  auto image = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "verify",
      "Install an image of our installer program in a fresh stand-in machine and check where it "
      "writes and that every installed file holds its entry's bytes (exit 0 verified, 1 findings, "
      "2 trouble)");
  command->add_option("IMAGE", *image, "the installer image")->required();
  command->callback([image, &exitStatus] {
    exitStatus = commands::RunCommandReportingFailures(*image, [&] { return RunVerify(*image); });
  });
}

}  // namespace verify
