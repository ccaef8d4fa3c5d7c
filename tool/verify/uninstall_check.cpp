// The uninstall check: recognising our UNINSTAL.EXE, then uninstalling
// through the registered command and comparing the machine.
#include "tool/verify/uninstall_check.h"

#include <algorithm>
#include <cctype>

#include "tool/preview/preview_run.h"
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

// Runs our UNINSTAL.EXE's sources through the command the installation
// registered, in the same machine, and compares it with `beforeInstall`.
UninstallOutcome RunOurUninstaller(const std::string& machine, const hostwin::RunResult& installation,
                                   const hostwin::MachineSnapshot& beforeInstall) {
  UninstallOutcome outcome;
  outcome.checked = true;
  preview::Uninstallation uninstallation;
  std::string error;
  if (!preview::RunRegisteredUninstall(machine, installation, {}, &uninstallation, &error)) {
    outcome.findings.push_back("uninstall: " + error);
    return outcome;
  }
  const hostwin::RunResult& removal = uninstallation.removal;
  if (removal.killed || removal.exitCode != 0) {
    outcome.findings.push_back("uninstall: the uninstaller ended with exit code " +
                               std::to_string(removal.exitCode) + " (" +
                               preview::UninstallerExitMeaning(removal.exitCode) + ")");
  }
  const hostwin::RunOptions defaults;
  const std::vector<std::string> left = LeftoversOf(
      hostwin::CompareSnapshots(beforeInstall, hostwin::TakeSnapshot(machine)), defaults.imageWindowsPath);
  for (const std::string& line : left) outcome.findings.push_back("uninstall: not as before: " + line);
  return outcome;
}

}  // namespace

std::vector<std::string> LeftoversOf(const std::vector<hostwin::MachineChange>& changes,
                                     const std::string& installerCopy) {
  const std::string sessionManager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  std::vector<hostwin::MachineChange> kept;
  for (const hostwin::MachineChange& change : changes) {
    const bool added = change.kind == hostwin::MachineChange::Kind::kAdded;
    const bool file = change.area == hostwin::MachineChange::Area::kFile ||
                      change.area == hostwin::MachineChange::Area::kDirectory;
    // The stand-in's copy of the image the installer ran from, and its folder.
    if (file && added && StartsWithFolded(installerCopy, change.what) &&
        (installerCopy.size() == change.what.size() || installerCopy[change.what.size()] == '\\'))
      continue;
    if (file && added && InTemporaryFolder(change.what)) continue;
    if (change.area == hostwin::MachineChange::Area::kRegistry && change.kind != hostwin::MachineChange::Kind::kRemoved) {
      const bool value = change.what.find('"') != std::string::npos;
      // The keys on the way to the list of files to delete at the next
      // start, and that list.
      if (!value && StartsWithFolded(sessionManager, change.what) &&
          (sessionManager.size() == change.what.size() || sessionManager[change.what.size()] == '\\'))
        continue;
      if (value && StartsWithFolded(change.what, sessionManager + " \"PendingFileRenameOperations\"")) continue;
    }
    kept.push_back(change);
  }
  return hostwin::FormatChanges(kept);
}

UninstallOutcome CheckUninstall(const std::string& machine, const hostwin::RunResult& installation,
                                const InstalledUninstaller& uninstaller,
                                const hostwin::MachineSnapshot& beforeInstall) {
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
  return RunOurUninstaller(machine, installation, beforeInstall);
}

}  // namespace verify
