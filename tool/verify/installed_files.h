// Whether every file the installer wrote holds its entry's bytes: each
// entry the installer writes is decoded in the installer's order (the
// decoder's ring carries over from one compressed entry to the next) and
// its SHA-256 compared with the file the installation left.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tool/preview/effects.h"
#include "saverkit/image.h"

namespace verify {

struct InstalledFilesReport {
  std::vector<std::string> findings;  // one line each
  std::vector<std::string> notes;     // entries the installer does not write, and why
  std::size_t checked = 0;            // entries whose file was compared
  // The decoded bytes of the entry at position 2 (UNINSTAL.EXE), when the
  // installer writes it and it decodes whole within kLargestUninstaller.
  bool uninstallerKept = false;
  std::vector<std::uint8_t> uninstaller;
};

// An UNINSTAL.EXE larger than this is not held for recognition (ours is
// a few hundred KB).
constexpr std::uint64_t kLargestUninstaller = 16u << 20;

// `effects` come from installing `image` on a machine whose Windows
// directory is `windowsDirectory`. The entries are decoded through one
// saverkit::EntryReader, as test's are; a spent budget throws its Error.
InstalledFilesReport CheckInstalledFiles(const saverkit::Image& image,
                                         const preview::InstallationEffects& effects,
                                         const std::string& windowsDirectory);

}  // namespace verify
