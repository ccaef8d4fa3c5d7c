// Functions to find the payload manifest inside an installer image: a walk
// over the PE headers and the resource directory of the image file itself,
// with plain reads and seeks (the manifest runs far beyond what the loaded
// module or the resource's declared size covers).
#pragma once

#include <windows.h>

#include <cstdint>

// Why a walk gave no handle.
enum class ManifestWalkError {
  None,
  OpenFailed,         // the file could not be opened (or its path is too long)
  CutShort,           // a read on the walk came up short, or a seek failed
  NoResourceSection,  // no section header named exactly ".rsrc"
};

// Where the walk found things, for callers that report on the image.
struct ManifestWalkInfo {
  ManifestWalkError error = ManifestWalkError::None;
  std::uint32_t resourceBase = 0;    // file offset of the root resource directory
  std::uint32_t resourceVirtualAddress = 0;  // of the ".rsrc" section
  std::uint32_t manifestOffset = 0;  // file offset of the manifest's first byte
};

// Opens `imagePath` read-only and shared, and walks to the image's first
// resource: the first entry at each of the three levels of the resource tree,
// with no name, id or language compared. Returns a handle positioned at that
// resource's first byte, or HFILE_ERROR with the file closed.
HFILE OpenManifestInImage(LPCSTR imagePath, ManifestWalkInfo* info = nullptr);

// The same walk on the running installer's own image file. The caller owns
// the handle and closes it with _lclose.
HFILE OpenPayloadManifest();
