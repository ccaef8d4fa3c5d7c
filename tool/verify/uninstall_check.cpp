// The uninstall check: recognising our UNINSTAL.EXE, then uninstalling
// through the registered command and comparing the machine.
#include "tool/verify/uninstall_check.h"

#include <algorithm>
#include <cctype>

#include "tool/preview/exit_outcomes.h"
#include "tool/verify/release_identity.h"

namespace verify {

namespace {

bool StartsWithFolded(const std::string& text, const std::string& start) {
  return text.size() >= start.size() &&
         std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
           return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
         });
}

// A temporary folder of an account (C:\Users\NAME\AppData\Local\Temp) or
// of the system (C:\WINDIR\Temp), something inside one, or a folder on the
// way to an account's.
bool InTemporaryFolder(const std::string& path) {
  const std::string folder = path + "\\";
  if (folder.size() < 3 || folder[1] != ':' || folder[2] != '\\') return false;
  const std::size_t second = folder.find('\\', 3);  // end of the first folder's name
  if (second != std::string::npos && StartsWithFolded(folder.substr(second), "\\Temp\\")) return true;
  if (!StartsWithFolded(folder.substr(2), "\\Users\\") || second == std::string::npos) return false;
  const std::size_t account = folder.find('\\', second + 1);  // end of the account's name
  if (account == std::string::npos) return false;
  const std::string rest = folder.substr(account);
  const std::string temp = "\\AppData\\Local\\Temp\\";
  return StartsWithFolded(rest, temp) || StartsWithFolded(temp, rest);
}

// True for `path` itself and the folders on the way to it.
bool OnTheWayTo(const std::string& path, const std::string& folder) {
  return StartsWithFolded(path, folder) && (path.size() == folder.size() || path[folder.size()] == '\\');
}

constexpr char kSessionManager[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

bool LeftByDesign(const preview::FileEffect& file, const std::string& installerCopy) {
  return file.change == preview::EffectChange::kAdded &&
         (OnTheWayTo(installerCopy, file.path) || InTemporaryFolder(file.path));
}

bool LeftByDesign(const preview::RegistryEffect& value) {
  if (value.change == preview::EffectChange::kRemoved) return false;
  return value.isKey ? OnTheWayTo(kSessionManager, value.key)
                     : StartsWithFolded(value.key, kSessionManager) && value.key.size() == sizeof kSessionManager - 1 &&
                           value.name == "PendingFileRenameOperations";
}

}  // namespace

std::vector<std::string> LeftoversOf(const preview::InstallationEffects& difference,
                                     const std::string& installerCopy) {
  std::vector<std::string> lines;
  for (const preview::FileEffect& file : difference.files)
    if (!LeftByDesign(file, installerCopy))
      lines.push_back(std::string(file.directory ? "folder " : "file ") + preview::ChangeWord(file.change) + " " +
                      file.path);
  for (const preview::RegistryEffect& value : difference.registry)
    if (!LeftByDesign(value))
      lines.push_back(std::string("registry ") + preview::ChangeWord(value.change) + " " + value.key +
                      (value.isKey ? "" : " \"" + value.name + "\""));
  for (const preview::IniEffect& line : difference.ini)
    lines.push_back(std::string("ini ") + preview::ChangeWord(line.change) + " " + line.file + " [" + line.section +
                    "] " + line.key);
  return lines;
}

UninstallOutcome CheckUninstall(preview::VerificationMachine& machine, const std::string& installerCopy,
                                const InstalledUninstaller& uninstaller) {
  UninstallOutcome outcome;
  if (!uninstaller.kept) {
    outcome.note = "uninstall: not checked: the installation wrote no whole UNINSTAL.EXE";
    return outcome;
  }
  const UninstallerRelease release = RecogniseUninstaller(uninstaller.bytes);
  if (!release.ours) {
    outcome.note = "uninstall: not checked: UNINSTAL.EXE is not one of our releases (" + release.why + ")";
    return outcome;
  }
  // Our UNINSTAL.EXE's sources, through the command the installation
  // registered, in the same machine.
  outcome.checked = true;
  const preview::UninstallRun run = machine.Uninstall();
  if (!run.ran) {
    outcome.findings.push_back("uninstall: " + run.error);
    return outcome;
  }
  if (run.exitCode != 0)
    outcome.findings.push_back("uninstall: the uninstaller ended with exit code " + std::to_string(run.exitCode) +
                               " (" + preview::UninstallerExitMeaning(run.exitCode) + ")");
  for (const std::string& line : LeftoversOf(run.difference, installerCopy))
    outcome.findings.push_back("uninstall: not as before: " + line);
  return outcome;
}

}  // namespace verify
