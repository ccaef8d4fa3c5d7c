// The checks that run before the installer asks for confirmation: replacing
// a screen saver of the same name, and room on the Windows directory's
// drive. Both fail open: only the user's answer stops the installation.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/text/format_thousands.h"  // FormatThousands, for the warning and the confirmation

namespace installer {

// Asks before replacing an installed screen saver of the same name.
// Non-zero: go on; zero: the user answered No.
BOOL ConfirmReplaceExisting(HINSTANCE instance);

// Sums InstallTotalBytes over the manifest's entries and warns when the
// drive of the Windows directory has no more free kilobytes than needed.
// Non-zero: go on; zero: the user answered Cancel to the warning.
BOOL CheckDiskSpace(HINSTANCE instance);

// Free kilobytes available to the caller on the drive holding `directory`.
// kFreeSpaceUnknown when neither query can tell; 4 TiB or more is reported
// as kFreeSpaceAtLeast4TiB, which is still more than any installation needs
// (at most 4,194,303 kilobytes).
constexpr std::uint32_t kFreeSpaceUnknown = 0xFFFFFFFFu;
constexpr std::uint32_t kFreeSpaceAtLeast4TiB = 0xFFFFFFFEu;
std::uint32_t GetFreeKilobytes(const char* directory);

// Kilobytes from a byte count, saturated at kFreeSpaceAtLeast4TiB.
std::uint32_t KilobytesFromBytes(std::uint64_t bytes);

}  // namespace installer
