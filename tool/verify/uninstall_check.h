// The uninstall check of saverkit verify: when the UNINSTAL.EXE an image
// installed is our release, its sources run in the same machine after the
// installation, and the machine must be back as it was before: nothing
// left but the uninstaller's self-deleting temporary copy, nothing else
// removed. A foreign uninstaller is not run: the stand-in runs our sources,
// not the program in the image, so it could say nothing of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/preview/effects.h"
#include "tool/preview/verification_machine.h"

namespace verify {

struct UninstallOutcome {
  bool checked = false;
  std::vector<std::string> findings;  // when checked: what was left or removed, one line each
  std::string note;                   // when not checked: "uninstall: not checked: WHY"
};

struct InstalledUninstaller {
  bool kept = false;  // the installer wrote it and its bytes decoded whole
  std::vector<std::uint8_t> bytes;
};

// `machine` holds the finished installation; `installerCopy` is where the
// image lay for it (that file and its folder may stay).
UninstallOutcome CheckUninstall(preview::VerificationMachine& machine, const std::string& installerCopy,
                                const InstalledUninstaller& uninstaller);

// What an uninstallation left different from the machine before the
// installation, one line each, apart from what an uninstaller of ours
// leaves by design: its temporary copies (files and folders under a
// temporary folder, deleted at the next restart) and the system's list of
// files to delete then (PendingFileRenameOperations, and the keys on the
// way to it); and the copy of the installer's image at `installerCopy`
// with its folder.
std::vector<std::string> LeftoversOf(const preview::InstallationEffects& difference,
                                     const std::string& installerCopy);

}  // namespace verify
