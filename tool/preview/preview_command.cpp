// saverkit preview: runs an installer image's own installation in the Win32
// stand-in over a simulated machine and shows what a user would see (the
// transcript) and what it changed (files, registry, system.ini).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "core/format/exit_codes.h"
#include "installer/resources/installer_resources.h"
#include "installer/main_window.h"
#include "demo/uninstaller/uninstaller.h"
#include "hostwin/machine.h"
#include "hostwin/runner.h"
#include "hostwin/transcript.h"
#include "tool/commands/command_failure.h"
#include "tool/preview/preview_answers.h"
#include "tool/reader/payload_image.h"
#include "tool/preview/preview_command.h"

using resources::InstallerResources;

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
  bool uninstall = false;             // then the registered uninstaller, in the same machine
};

// Where the installer registers its uninstall command: one key per title.
constexpr char kUninstallKeys[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

using RunOnMachine = std::function<hostwin::RunResult(const std::string& machine, const std::vector<std::string>& answers)>;

// A fresh machine folder under the system's temporary directory.
bool MakeTemporaryMachine(std::string* folder, std::string* error) {
  std::string pattern = (fs::temp_directory_path() / "saverkit-preview-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot create a temporary machine folder";
    return false;
  }
  *folder = pattern;
  return true;
}

// The disk of a machine that preview makes: this many bytes free, and the
// disk is full after that many written in one run. An image can declare
// gigabytes that decode from a few stored bytes; on a machine of this size
// the installer warns of the short space as it would, and its writes stop
// there instead of filling the host's disk. Real screen saver installations
// are a few megabytes; a machine given with --machine keeps its own disk.
constexpr std::uint64_t kPreviewDiskBytes = 256ull << 20;

// The machine at `folder`, made complete with its settings (defaults and
// preview's disk for a new one).
bool PrepareMachine(const std::string& folder, std::string* error) {
  hostwin::MachineSettings settings;
  std::error_code ignored;
  // A machine.ini that is a link, even a dangling one, is there (and the
  // stand-in refuses to read it) rather than written through.
  if (fs::exists(fs::symlink_status(fs::path(folder) / "machine.ini", ignored))) {
    if (!hostwin::LoadMachineSettings(folder, &settings, error)) return false;
  } else {
    settings.freeBytes = kPreviewDiskBytes;
    settings.writableBytes = kPreviewDiskBytes;
  }
  return hostwin::CreateMachine(folder, settings, error);
}

// The installer's command line: the switches, each quoted when it holds a
// blank (so "/LOG=C:\a b\x.log" stays one argument).
std::string CommandLineOf(const std::vector<std::string>& switches) {
  std::string line;
  for (const std::string& word : switches) {
    if (!line.empty()) line += ' ';
    line += word.find_first_of(" \t") == std::string::npos ? word : "\"" + word + "\"";
  }
  return line;
}

hostwin::RunResult RunInstaller(const std::string& machine, const std::string& image,
                                const std::vector<std::string>& answers,
                                const std::vector<std::string>& switches) {
  hostwin::RunOptions run;
  run.machineFolder = machine;
  run.imagePath = image;
  run.answers = answers;
  run.commandLine = CommandLineOf(switches);
  run.resources = InstallerResources();
  return hostwin::RunProgram(run, WinMain);
}

// Answers that go through a normal run: the program runs on copies of the
// machine, and each prompt it stops at for want of an answer gets the
// answer that goes on (NextPreviewAnswer), until none is missing.
bool DeriveAnswers(const std::string& machine, const RunOnMachine& run, std::vector<std::string>* answers,
                   std::string* error) {
  // Links in the machine folder are copied as links, never followed nor
  // descended into: the stand-in never follows them either, so the copies
  // meet them exactly where the final run does and the answers found there
  // are its answers; following them would copy whatever they point at (a
  // link to a big folder outside costs its whole size), and refusing them
  // would stop a preview whose run shows the user what the link does. The
  // folder itself is named by the user and may be a link: it is resolved
  // first, so that the copy holds its contents, not a link to it.
  std::error_code code;
  const fs::path source = fs::canonical(machine, code);
  if (code) {
    *error = "cannot copy the machine folder: " + code.message();
    return false;
  }
  std::string scratch;
  if (!MakeTemporaryMachine(&scratch, error)) return false;
  bool derived = false;
  for (int attempt = 0; attempt < kMaxPreviewPrompts && !derived; ++attempt) {
    fs::remove_all(scratch, code);
    fs::copy(source, scratch, fs::copy_options::recursive | fs::copy_options::copy_symlinks, code);
    if (code) {
      *error = "cannot copy the machine folder: " + code.message();
      break;
    }
    const hostwin::RunResult result = run(scratch, *answers);
    std::string answer;
    if (!NextPreviewAnswer(result.transcript, &answer))
      derived = true;
    else
      answers->push_back(answer);
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  if (!derived && error->empty()) *error = "the program keeps asking; give its answers with --answer";
  return derived;
}

// Lines carry names and texts from the image; the stand-in escapes them, and
// they are escaped here once more (which leaves escaped text as it is), so
// that nothing reaches the terminal raw whatever made the line.
void PrintSection(const char* heading, const std::vector<std::string>& lines) {
  std::printf("%s\n", heading);
  if (lines.empty()) std::printf("  (none)\n");
  for (const std::string& line : lines) std::printf("  %s\n", hostwin::TranscriptText(line).c_str());
}

bool InstallerFailed(int code) {
  return code == format::kExitShortWrite || code == format::kExitFilesFailed ||
         code == format::kExitDamaged;
}

std::string ExitMeaning(int code, bool uninstaller) {
  for (const format::ExitCodeMeaning& meaning : format::kExitCodeMeanings) {
    const char* text = uninstaller ? meaning.uninstaller : meaning.installer;
    if (meaning.code == code && text != nullptr) return text;
  }
  return uninstaller ? "not an exit code of the uninstaller" : "not an exit code of the installer";
}

bool HasSilentSwitch(const std::vector<std::string>& switches) {
  for (const std::string& word : switches)
    if (word == "/S" || word == "/s") return true;
  return false;
}

// The uninstall command the installation registered: the key it changed
// under kUninstallKeys, its QuietUninstallString when the installer ran
// silently, else its UninstallString. False when it registered none.
bool RegisteredUninstallCommand(const std::string& machine, const hostwin::RunResult& installation, bool silent,
                                std::string* command) {
  const std::string prefix = kUninstallKeys;
  for (const hostwin::MachineChange& change : installation.changes) {
    if (change.area != hostwin::MachineChange::Area::kRegistry ||
        change.kind == hostwin::MachineChange::Kind::kRemoved || change.what.size() <= prefix.size() ||
        !std::equal(prefix.begin(), prefix.end(), change.what.begin(),
                    [](char a, char b) { return std::toupper(static_cast<unsigned char>(a)) ==
                                                std::toupper(static_cast<unsigned char>(b)); }))
      continue;
    // "KEY" or "KEY \"value\"": the key's own path.
    const std::size_t value = change.what.find(" \"", prefix.size());
    const std::string key = change.what.substr(0, value);
    if (hostwin::ReadMachineRegistryString(machine, key, silent ? "QuietUninstallString" : "UninstallString", command))
      return true;
  }
  return false;
}

// Splits a registered command into the program's path and the arguments
// behind it as Windows does: a quoted path, or else the shortest stretch up
// to a blank (or the end) that names a file of the machine.
void SplitCommand(const std::string& machine, const std::string& command, std::string* program,
                  std::string* arguments) {
  std::size_t end;
  if (!command.empty() && command[0] == '"') {
    end = command.find('"', 1);
    *program = command.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    end = end == std::string::npos ? command.size() : end + 1;
  } else {
    std::error_code ignored;
    end = 0;
    do {
      end = std::min(command.find(' ', end + 1), command.size());
      *program = command.substr(0, end);
    } while (end < command.size() &&
             !fs::is_regular_file(hostwin::HostPathInMachine(machine, *program), ignored));
  }
  const std::size_t start = command.find_first_not_of(' ', end);
  *arguments = start == std::string::npos ? std::string() : command.substr(start);
}

// Runs the uninstaller at `program` (its file and every copy of it are
// Saverkit's UNINSTAL.EXE, whatever the image carried) in the machine.
hostwin::RunResult RunUninstaller(const std::string& machine, const std::string& program,
                                  const std::string& arguments, const std::vector<std::string>& answers) {
  hostwin::RunOptions run;
  run.machineFolder = machine;
  run.imageWindowsPath = program;
  run.programs = {{program, uninstaller::Main}};
  run.commandLine = arguments;
  run.answers = answers;
  return hostwin::RunProgram(run, uninstaller::Main);
}

// Removes the machine folder that preview made for this run, however the
// run ends.
class TemporaryMachine {
 public:
  explicit TemporaryMachine(std::string folder) : folder_(std::move(folder)) {}
  ~TemporaryMachine() {
    std::error_code ignored;
    if (!folder_.empty()) fs::remove_all(folder_, ignored);
  }
  TemporaryMachine(const TemporaryMachine&) = delete;
  TemporaryMachine& operator=(const TemporaryMachine&) = delete;

 private:
  std::string folder_;
};

int RunPreview(const PreviewOptions& options) {
  std::error_code code;
  if (!fs::is_regular_file(options.image, code)) throw Failure(options.image, "no such file", kExitDataError);
  // What list and test refuse as no installer at all is refused here too,
  // rather than run through an installation that reads nothing.
  reader::ImageFile checked;
  reader::OpenPeImage(options.image, &checked);
  const std::string image = fs::absolute(options.image, code).string();
  for (const std::string& answer : options.answers) {
    if (!IsPreviewAnswer(answer)) {
      throw Failure::Unfiled("unknown answer \"" + answer + "\" (use one of " + kPreviewAnswerNames + ")",
                             kExitUsageError);
    }
  }

  std::string machine = options.machine;
  std::string error;
  if (machine.empty() && !MakeTemporaryMachine(&machine, &error)) throw Failure::Unfiled(error, kExitDataError);
  const TemporaryMachine temporary(options.machine.empty() ? machine : std::string());
  std::vector<std::string> answers = options.answers;
  const RunOnMachine install = [&](const std::string& folder, const std::vector<std::string>& given) {
    return RunInstaller(folder, image, given, options.switches);
  };
  if (!PrepareMachine(machine, &error) || (options.answers.empty() && !DeriveAnswers(machine, install, &answers, &error)))
    throw Failure(machine, error, kExitDataError);

  const hostwin::RunResult result = install(machine, answers);
  if (!options.uninstall) {
    PrintSection("Transcript:", result.transcript);
    std::printf("\n");
    PrintSection("Changes to the machine:", hostwin::FormatChanges(result.changes));
  }
  // The transcript's last line is the installer's exit code. The user's
  // answers, a short disk, a media type that cannot play and bad switches
  // are outcomes of the run preview shows; a file the installer could not
  // write and a damaged image or title are failures of the image.
  if (!result.killed && InstallerFailed(result.exitCode)) {
    if (options.uninstall) PrintSection("Transcript:", result.transcript);
    throw Failure(options.image,
                  "the installer ended with exit code " + std::to_string(result.exitCode) + " (" +
                      ExitMeaning(result.exitCode, false) + ")",
                  kExitDataError);
  }
  if (!options.uninstall) return HasLoudError(result.transcript) ? kExitDataError : kExitOk;

  // Then the uninstall command the installation registered, run as Windows
  // runs it, in the same machine: the transcript goes on with it.
  std::string command, program, arguments;
  const bool silent = HasSilentSwitch(options.switches);
  if (!RegisteredUninstallCommand(machine, result, silent, &command)) {
    PrintSection("Transcript:", result.transcript);
    throw Failure(options.image, "the installation registered no uninstall command", kExitDataError);
  }
  SplitCommand(machine, command, &program, &arguments);
  std::vector<std::string> uninstallAnswers;
  const RunOnMachine uninstall = [&](const std::string& folder, const std::vector<std::string>& given) {
    return RunUninstaller(folder, program, arguments, given);
  };
  if (!DeriveAnswers(machine, uninstall, &uninstallAnswers, &error)) throw Failure(machine, error, kExitDataError);
  const hostwin::RunResult removal = uninstall(machine, uninstallAnswers);
  std::vector<std::string> transcript = result.transcript;
  transcript.push_back("uninstall " + command);
  transcript.insert(transcript.end(), removal.transcript.begin(), removal.transcript.end());
  PrintSection("Transcript:", transcript);
  std::printf("\n");
  PrintSection("Changes to the machine:", hostwin::FormatChanges(result.changes));
  std::printf("\n");
  PrintSection("Changes by the uninstallation:", hostwin::FormatChanges(removal.changes));
  // Something logged that stayed, or a damaged INSTALL.LOG, is a failure of
  // the installation the image made.
  if (!removal.killed && (removal.exitCode == format::kExitFilesFailed || removal.exitCode == format::kExitDamaged)) {
    throw Failure(options.image,
                  "the uninstaller ended with exit code " + std::to_string(removal.exitCode) + " (" +
                      ExitMeaning(removal.exitCode, true) + ")",
                  kExitDataError);
  }
  return HasLoudError(transcript) ? kExitDataError : kExitOk;
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
  command->add_flag("--uninstall", options->uninstall,
                    "after the installation, run the uninstall command it registered in the same machine "
                    "(QuietUninstallString when the switches hold /S, else UninstallString, answered as a "
                    "normal uninstallation) and go on with the transcript to the uninstaller's exit code");
  command->add_option("SWITCHES", options->switches,
                      "after --: the installer's command line, e.g. -- /S /LOG=C:\\setup.log");
  command->callback([options, &exitStatus] {
    exitStatus = commands::RunCommandReportingFailures(options->image, [&] { return RunPreview(*options); });
  });
}

}  // namespace preview
