// The installer's reading of its own image file through the _lopen family:
// the byte source that the payload walk runs on, and the handle on the
// manifest that every reader of the manifest opens anew and closes again.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/format/image_walk.h"
#include "core/format/version_info.h"

namespace installer {

// An open image file as the walk's byte source: each read is an absolute
// seek (_llseek FILE_BEGIN) followed by one _lread of the whole size.
class LopenImageSource {
 public:
  explicit LopenImageSource(HFILE file) : file_(file) {}
  bool ReadAt(std::uint32_t offset, void* buffer, std::uint32_t size);
  // Leaves the handle at `offset`; false beyond what _llseek can address.
  bool SeekTo(std::uint32_t offset);

 private:
  HFILE file_;
};

// Opens `imagePath` read-only and shared, and walks to the image's first
// resource. Returns a handle positioned at that resource's first byte, or
// HFILE_ERROR with the file closed; `info` (optional) says why.
HFILE OpenManifestInImage(LPCSTR imagePath, format::ManifestWalkInfo* info = nullptr);

// The same walk on the running installer's own image file. The caller owns
// the handle and closes it with _lclose.
HFILE OpenPayloadManifest();

// The author's VERSIONINFO in the running installer's own image (what pack
// wrote from --publisher, --version, --url); fields absent when the image
// has none or it cannot be read. Read from the file, as the manifest is.
void ReadOwnVersionInfo(format::VersionInfoFields* fields);

}  // namespace installer
