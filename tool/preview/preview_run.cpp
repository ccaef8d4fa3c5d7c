// The stand-in run shared by saverkit preview and verify.
#include "tool/preview/preview_run.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "core/format/exit_codes.h"
#include "installer/main_window.h"
#include "installer/resources/installer_resources.h"
#include "demo/uninstaller/standin_run.h"
#include "hostwin/machine.h"
#include "tool/errors/failure.h"
#include "tool/preview/preview_answers.h"

namespace preview {

namespace {

namespace fs = std::filesystem;

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

}  // namespace

PreviewMachine::PreviewMachine() : temporary_(true) {
  std::string error;
  if (!MakeTemporaryMachine(&folder_, &error)) throw errors::Failure::Unfiled(error, errors::kExitDataError);
}

PreviewMachine::PreviewMachine(std::string folder) : folder_(std::move(folder)) {}

PreviewMachine::~PreviewMachine() {
  std::error_code ignored;
  if (temporary_) fs::remove_all(folder_, ignored);
}

bool PrepareMachine(const std::string& folder, std::string* error, std::uint64_t writableBytes) {
  hostwin::MachineSettings settings;
  std::error_code ignored;
  // A machine.ini that is a link, even a dangling one, is there (and the
  // stand-in refuses to read it) rather than written through.
  if (fs::exists(fs::symlink_status(fs::path(folder) / "machine.ini", ignored))) {
    if (!hostwin::LoadMachineSettings(folder, &settings, error)) return false;
  } else {
    settings.freeBytes = kPreviewDiskBytes;
    settings.writableBytes = std::min(writableBytes, kPreviewDiskBytes);
  }
  return hostwin::CreateMachine(folder, settings, error);
}

hostwin::RunResult RunInstaller(const std::string& machine, const std::string& image,
                                const std::vector<std::string>& answers,
                                const std::vector<std::string>& switches) {
  hostwin::RunOptions run;
  run.machineFolder = machine;
  run.imagePath = image;
  run.answers = answers;
  run.commandLine = CommandLineOf(switches);
  run.resources = resources::InstallerResources();
  return hostwin::RunProgram(run, WinMain);
}

// Each prompt the program stops at for want of an answer gets the answer
// that goes on (NextPreviewAnswer), until none is missing.
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

bool DeriveAnswers(const std::string& machine, const std::string& image,
                   const std::vector<std::string>& switches, std::vector<std::string>* answers,
                   std::string* error) {
  return DeriveAnswers(
      machine,
      [&](const std::string& folder, const std::vector<std::string>& given) {
        return RunInstaller(folder, image, given, switches);
      },
      answers, error);
}

namespace {

// Where the installer registers its uninstall command: one key per title.
constexpr char kUninstallKeys[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

bool HasSilentSwitch(const std::vector<std::string>& switches) {
  for (const std::string& word : switches)
    if (word == "/S" || word == "/s") return true;
  return false;
}

// The uninstall command the installation registered: the key it changed
// under kUninstallKeys, its QuietUninstallString or its UninstallString.
// False when it registered none.
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

std::string ExitMeaning(int code, bool uninstaller) {
  for (const format::ExitCodeMeaning& meaning : format::kExitCodeMeanings) {
    const char* text = uninstaller ? meaning.uninstaller : meaning.installer;
    if (meaning.code == code && text != nullptr) return text;
  }
  return uninstaller ? "not an exit code of the uninstaller" : "not an exit code of the installer";
}

}  // namespace

bool RunRegisteredUninstall(const std::string& machine, const hostwin::RunResult& installation,
                            const std::vector<std::string>& switches, Uninstallation* uninstallation,
                            std::string* error) {
  if (!RegisteredUninstallCommand(machine, installation, HasSilentSwitch(switches), &uninstallation->command)) {
    *error = "the installation registered no uninstall command";
    return false;
  }
  std::string program, arguments;
  SplitCommand(machine, uninstallation->command, &program, &arguments);
  const RunOnMachine uninstall = [&](const std::string& folder, const std::vector<std::string>& given) {
    return uninstaller::RunInStandIn(folder, program, arguments, given);
  };
  std::vector<std::string> answers;
  if (!DeriveAnswers(machine, uninstall, &answers, error)) return false;
  uninstallation->removal = uninstall(machine, answers);
  return true;
}

bool InstallerFailed(int code) {
  return code == format::kExitShortWrite || code == format::kExitFilesFailed || code == format::kExitDamaged;
}

std::string InstallerExitMeaning(int code) { return ExitMeaning(code, false); }

bool UninstallerFailed(int code) { return code == format::kExitFilesFailed || code == format::kExitDamaged; }

std::string UninstallerExitMeaning(int code) { return ExitMeaning(code, true); }

}  // namespace preview
