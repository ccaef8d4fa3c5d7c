// Lays out a packed installer: the stub's program sections as they stand,
// then its resource section rebuilt so that the LASTRES placeholder's data
// comes last, and from that data on the payload manifest and the entry data,
// running on past the section to the end of the file.
//
// The resource section must be the stub's last section for that. What
// linkers put behind it is handled: the base relocation section moves in
// front of the rebuilt resource section (its contents do not depend on
// where it lies), and discardable sections no data directory points into
// (debug information) are left out, as are the COFF symbol table and any
// bytes after the last section. Any other section behind ".rsrc" makes the
// stub unusable.
#pragma once

#include <cstdint>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "tool/packer/stub_image.h"

namespace packer {

struct AssembledImage {
  std::vector<std::uint8_t> bytes;
  std::uint32_t manifestOffset = 0;  // file offset of the manifest's first byte
  std::uint32_t resourceSectionRva = 0;
  std::uint32_t resourceSectionOffset = 0;  // its PointerToRawData
};

// The image's resource section holds `resources` (the stub's, or the stub's
// with some replaced), LASTRES 1000 among them. Throws StubError when the
// stub cannot carry a payload, and std::invalid_argument (from the manifest
// writer) when a manifest field does not fit its width.
AssembledImage AssembleInstaller(const StubImage& stub, const std::vector<imagewriter::ResourceItem>& resources,
                                 const imagewriter::ManifestContents& manifest);

}  // namespace packer
