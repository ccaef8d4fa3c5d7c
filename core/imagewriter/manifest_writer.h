// Writes the payload manifest and the entry data behind it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/imagewriter/pe_image_writer.h"

namespace imagewriter {

struct EntryContents {
  std::vector<std::uint8_t> stored;  // the bytes stored in the image
  std::uint32_t expandedSize = 0;    // 0: stored as is; else size after decoding
  std::string name;                  // up to 15 bytes, blank-filled behind
  std::uint8_t kind = 0;
  // Overrides for damaged or unusual images; by default the data follows the
  // previous entry's data and StoredSize is stored.size().
  std::optional<std::uint32_t> dataOffset;
  std::optional<std::uint32_t> storedSize;
};

struct ManifestContents {
  std::string license;  // at most 65,535 bytes
  std::string title;    // at most 260 bytes; exactly 260 leaves no NUL
  std::uint16_t numberBase = 0;
  std::vector<EntryContents> entries;
};

// The manifest (terminator included) followed by each entry's data, for a
// manifest that begins at file offset `manifestOffset`. Throws
// std::invalid_argument when a field does not fit its width.
std::vector<std::uint8_t> BuildManifestTail(const ManifestContents& contents, std::uint32_t manifestOffset);

// A whole installer image: a small code section, then a resource section
// whose first resource is LASTRES 1000 (language 1033, a 4-byte placeholder
// with the highest data RVA), with `otherResources` beside it, and the
// manifest written from that placeholder's data on.
std::vector<std::uint8_t> BuildInstallerImage(const ManifestContents& contents,
                                              std::vector<ResourceItem> otherResources = {});

}  // namespace imagewriter
