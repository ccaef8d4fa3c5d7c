// Process-wide state of the installer: set and read by the install sequence,
// the pre-install checks and the extraction, all on the one GUI thread, for
// the whole run. (The title itself, ScreenSaverTitle, lives with the
// manifest reader in installer/own_manifest.h.)
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "installer/command_line.h"
#include "installer/extraction_results.h"
#include "core/format/install_names.h"

namespace installer {

// The installer's own module: its image file, icon and dialog templates.
extern HINSTANCE InstanceHandle;

// The trimmed title followed by ".scr"; replaced by the full path of the
// installed screen saver just before it is started. Empty when the title
// is too long to form a file name.
extern char ScreenSaverFileName[format::kPathBufferSize];

// Bytes the installation writes, summed by CheckDiskSpace (modulo 2^32).
extern std::uint32_t InstallTotalBytes;

// The switches of the command line; all off when there is none.
extern CommandLine Switches;

// What the extraction found: unplayable media types and files not written
// whole.
extern ExtractionResults Extracted;

}  // namespace installer
