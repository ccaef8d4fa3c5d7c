// saverkit preview: runs an installer image's own installation in the Win32
// stand-in over a simulated machine and shows what a user would see (the
// transcript) and what it changed (files, registry, system.ini), or with
// --effects the installation's effects alone, for scripts.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "hostwin/runner.h"
#include "hostwin/transcript.h"
#include "tool/commands/command_failure.h"
#include "tool/preview/collect_effects.h"
#include "tool/preview/preview_answers.h"
#include "tool/preview/preview_run.h"
#include "tool/preview/run_limits.h"
#include "tool/reader/payload_image.h"
#include "tool/preview/preview_command.h"

namespace preview {

using errors::Failure;
using errors::kExitDataError;
using errors::kExitOk;
using errors::kExitUsageError;

namespace {

namespace fs = std::filesystem;

struct PreviewOptions {
  std::string image;
  std::string machine;
  std::vector<std::string> answers;
  std::vector<std::string> switches;  // the installer's command line, after "--"
  std::string effects;                // "", json, reg or text
  bool uninstall = false;             // then the registered uninstaller, in the same machine
};

// Lines carry names and texts from the image; the stand-in escapes them, and
// they are escaped here once more (which leaves escaped text as it is), so
// that nothing reaches the terminal raw whatever made the line.
void PrintSection(std::FILE* out, const char* heading, const std::vector<std::string>& lines) {
  std::fprintf(out, "%s\n", heading);
  if (lines.empty()) std::fprintf(out, "  (none)\n");
  for (const std::string& line : lines) std::fprintf(out, "  %s\n", hostwin::TranscriptText(line).c_str());
}

std::string EffectsIn(const std::string& form, const InstallationEffects& effects) {
  if (form == "json") return EffectsJson(effects);
  if (form == "reg") return EffectsRegedit4(effects);
  return EffectsText(effects);
}

int RunPreview(const PreviewOptions& options) {
  std::error_code code;
  if (!fs::is_regular_file(options.image, code)) throw Failure(options.image, "no such file", kExitDataError);
  // What list and test refuse as no installer at all is refused here too,
  // rather than run through an installation that reads nothing.
  reader::ImageFile checked;
  reader::OpenPeImage(options.image, &checked);
  try {
    const std::string tooMany = TooManyEntriesToRun(reader::LoadPayloadImage(checked, options.image).entries.size());
    if (!tooMany.empty()) throw Failure(options.image, tooMany, kExitDataError);
  } catch (const reader::ImageError&) {
    // A damaged image is run all the same: the installer shows what it makes of it.
  }
  const std::string image = fs::absolute(options.image, code).string();
  for (const std::string& answer : options.answers) {
    if (!IsPreviewAnswer(answer)) {
      throw Failure::Unfiled("unknown answer \"" + answer + "\" (use one of " + kPreviewAnswerNames + ")",
                             kExitUsageError);
    }
  }

  const std::unique_ptr<PreviewMachine> machine = options.machine.empty()
                                                      ? std::make_unique<PreviewMachine>()
                                                      : std::make_unique<PreviewMachine>(options.machine);
  std::string error;
  std::vector<std::string> answers = options.answers;
  if (!PrepareMachine(machine->folder(), &error) ||
      (options.answers.empty() &&
       !DeriveAnswers(machine->folder(), image, options.switches, &answers, &error)))
    throw Failure(machine->folder(), error, kExitDataError);

  const hostwin::RunResult result = RunInstaller(machine->folder(), image, answers, options.switches);
  // With --effects, standard output carries the effects alone, for scripts;
  // the transcript goes to standard error.
  std::FILE* transcript = options.effects.empty() ? stdout : stderr;
  if (!options.uninstall) {
    PrintSection(transcript, "Transcript:", result.transcript);
    if (options.effects.empty()) {
      std::printf("\n");
      PrintSection(stdout, "Changes to the machine:", hostwin::FormatChanges(result.changes));
    } else {
      const std::string effects = EffectsIn(options.effects, CollectEffects(machine->folder(), result));
      std::fwrite(effects.data(), 1, effects.size(), stdout);
    }
    std::fflush(stdout);
  }
  // The transcript's last line is the installer's exit code. The user's
  // answers, a short disk, a media type that cannot play and bad switches
  // are outcomes of the run preview shows; a file the installer could not
  // write and a damaged image or title are failures of the image.
  if (!result.killed && InstallerFailed(result.exitCode)) {
    if (options.uninstall) PrintSection(stdout, "Transcript:", result.transcript);
    throw Failure(options.image,
                  "the installer ended with exit code " + std::to_string(result.exitCode) + " (" +
                      InstallerExitMeaning(result.exitCode) + ")",
                  kExitDataError);
  }
  if (!options.uninstall) return HasLoudError(result.transcript) ? kExitDataError : kExitOk;

  // Then the uninstall command the installation registered, run as Windows
  // runs it, in the same machine: the transcript goes on with it.
  Uninstallation uninstallation;
  if (!RunRegisteredUninstall(machine->folder(), result, options.switches, &uninstallation, &error)) {
    PrintSection(stdout, "Transcript:", result.transcript);
    throw Failure(options.image, error, kExitDataError);
  }
  const hostwin::RunResult& removal = uninstallation.removal;
  std::vector<std::string> lines = result.transcript;
  lines.push_back("uninstall " + uninstallation.command);
  lines.insert(lines.end(), removal.transcript.begin(), removal.transcript.end());
  PrintSection(stdout, "Transcript:", lines);
  std::printf("\n");
  PrintSection(stdout, "Changes to the machine:", hostwin::FormatChanges(result.changes));
  std::printf("\n");
  PrintSection(stdout, "Changes by the uninstallation:", hostwin::FormatChanges(removal.changes));
  std::fflush(stdout);
  // Something logged that stayed, or a damaged INSTALL.LOG, is a failure of
  // the installation the image made.
  if (!removal.killed && UninstallerFailed(removal.exitCode)) {
    throw Failure(options.image,
                  "the uninstaller ended with exit code " + std::to_string(removal.exitCode) + " (" +
                      UninstallerExitMeaning(removal.exitCode) + ")",
                  kExitDataError);
  }
  return HasLoudError(lines) ? kExitDataError : kExitOk;
}

}  // namespace

void AddPreviewCommand(CLI::App& app, int& exitStatus) {
  auto options = std::make_shared<PreviewOptions>();
  CLI::App* command = app.add_subcommand(
      "preview",
      "Run the installation of an installer image in the Win32 stand-in and show what it "
      "shows and changes");
  command->add_option("IMAGE", options->image, "the installer image")->required();
  command->add_option("--machine", options->machine,
                      "the simulated machine's folder (created when missing, with a disk of "
                      "256 MiB; default: a fresh temporary one)");
  command
      ->add_option("--answer", options->answers,
                   "the user's answer to the next message box or dialog, in order: ok, cancel, "
                   "yes, no, accept, decline, escape, close (default: the answers of a normal "
                   "installation)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      ->add_option("--effects", options->effects,
                   "print what the installation did to the machine (files with SHA-256, registry, "
                   "ini lines, the screen-saver setting, programs started, messages) as json, reg "
                   "(a REGEDIT4 file) or text, alone on standard output; the transcript goes to "
                   "standard error")
      ->check(CLI::IsMember({"json", "reg", "text"}));
  CLI::Option* uninstall = command->add_flag(
      "--uninstall", options->uninstall,
      "after the installation, run the uninstall command it registered in the same machine "
      "(QuietUninstallString when the switches hold /S, else UninstallString, answered as a "
      "normal uninstallation) and go on with the transcript to the uninstaller's exit code");
  uninstall->excludes("--effects");
  command->add_option("SWITCHES", options->switches,
                      "after --: the installer's command line, e.g. -- /S /LOG=C:\\setup.log");
  command->callback([options, &exitStatus] {
    exitStatus = commands::RunCommandReportingFailures(options->image, [&] { return RunPreview(*options); });
  });
}

}  // namespace preview
