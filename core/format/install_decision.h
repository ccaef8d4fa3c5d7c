// Which entries the installer writes: the one rule that the installer's
// extraction follows and that the tool follows to report, extract and
// decode exactly the entries the installer would. An entry is written when
// its destination can be built (Windows directory known, the title one
// safe name, a media name one safe file name, the path at most 259
// characters) and its stored bytes lie inside the image. Only written
// compressed entries pass through the decoder, whose ring carries over to
// the next one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/format/install_names.h"
#include "core/format/manifest_layout.h"

namespace format {

enum class InstallRefusal {
  kNone,
  kNoWindowsDirectory,  // the system did not give it
  kUnsafeTitle,         // the title would lead out of its folder
  kUnsafeName,          // a media file name would
  kPathTooLong,         // over 259 characters
  kDataOutsideImage,    // the stored bytes run past the end of the image
};

// Where the entries go: the Windows directory with its backslash ("" when
// unknown), the trimmed title, the manifest's NumberBase, the image's size.
struct InstallPlace {
  const char* winDir;
  const char* title;
  std::uint16_t numberBase;
  std::uint64_t imageSize;
};

// The destination of the entry at `position` into `destination`, or why the
// installer writes nothing there. `fullPath` (`fullSize` bytes, at least
// 4 x kPathBufferSize) always receives the path the rules build, for reports.
InstallRefusal InstallDestination(const InstallPlace& place, const PayloadEntry& entry,
                                  std::uint32_t position, char (&destination)[kPathBufferSize],
                                  char* fullPath, std::size_t fullSize);

// The whole rule: kNone when the installer writes the entry (and decodes it,
// when it is compressed).
InstallRefusal InstallerRefusal(const InstallPlace& place, const PayloadEntry& entry,
                                std::uint32_t position);
// The same, also handing back the path the rules build (as InstallDestination
// does), so that a report needs no second build of it.
InstallRefusal InstallerRefusal(const InstallPlace& place, const PayloadEntry& entry,
                                std::uint32_t position, char* fullPath, std::size_t fullSize);

}  // namespace format
