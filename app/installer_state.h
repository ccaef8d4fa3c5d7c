// Process-wide state of the installer: set and read by the install sequence,
// the pre-install checks and the extraction, all on the one GUI thread, for
// the whole run. (The title itself, ScreenSaverTitle, lives with the
// manifest reader in payload/manifest_reader.h.)
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "payload/install_names.h"

// The installer's own module: its image file, icon and dialog templates.
extern HINSTANCE InstanceHandle;

// The trimmed title followed by ".scr"; replaced by the full path of the
// installed screen saver just before it is started. Empty when the title
// is too long to form a file name.
extern char ScreenSaverFileName[kPathBufferSize];

// Bytes the installation writes, summed by CheckDiskSpace (modulo 2^32).
extern std::uint32_t InstallTotalBytes;

// Extensions of installed media files that the multimedia layer could not
// open, each followed by CR LF, each at most once. Empty: everything plays.
constexpr std::size_t kUnsupportedTypesSize = 256;
extern char UnsupportedTypes[kUnsupportedTypesSize];
// Set when an extension did not fit into UnsupportedTypes any more.
extern bool UnsupportedTypesOverflow;

// True when no media file failed the media check.
bool AllMediaSupported();

// Adds `extension` (".MID") to UnsupportedTypes unless the list already
// contains that text anywhere (so ".MP" after ".MPG" is not added again).
void ListUnsupportedType(const char* extension);

// Files that were not written whole (could not be created, data short or
// outside the image, unsafe name, path too long): their paths, each followed
// by CR LF. A path that no longer fits is counted in FailedFilesNotListed.
constexpr std::size_t kFailedFilesSize = 768;
extern char FailedFiles[kFailedFilesSize];
extern unsigned FailedFileCount;
extern unsigned FailedFilesNotListed;

void RecordFailedFile(const char* path);
