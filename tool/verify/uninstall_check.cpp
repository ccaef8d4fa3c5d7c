// The uninstall check: recognising our UNINSTAL.EXE, then (once the
// stand-in can run it) uninstalling and comparing the machine.
#include "tool/verify/uninstall_check.h"

#include "tool/verify/release_identity.h"

namespace verify {

namespace {

// Runs our UNINSTAL.EXE's sources in the machine and compares it with
// `beforeInstall`. The stand-in of this build cannot run the uninstaller's
// sources yet, so the run is not made and the outcome says so; this is the
// one function that changes when it can.
UninstallOutcome RunOurUninstaller(const std::string& /*machine*/, const InstalledUninstaller& /*uninstaller*/,
                                   const hostwin::MachineSnapshot& /*beforeInstall*/) {
  UninstallOutcome outcome;
  outcome.note = "uninstall: not checked: this build's stand-in cannot run UNINSTAL.EXE's sources";
  return outcome;
}

}  // namespace

UninstallOutcome CheckUninstall(const std::string& machine, const InstalledUninstaller& uninstaller,
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
  return RunOurUninstaller(machine, uninstaller, beforeInstall);
}

}  // namespace verify
