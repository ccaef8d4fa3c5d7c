// Reading an installer program (the "stub") that the packer extends: its PE
// headers, its section table and its whole resource tree, with every size
// and offset checked against the file, since a stub may be any file a user
// names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/format/pe_layout.h"
#include "core/imagewriter/pe_image_writer.h"
#include "tool/errors/failure.h"

namespace packer {

// A stub or a packed image that the packer cannot use, with the reason.
class StubError : public errors::Failure {
 public:
  explicit StubError(const std::string& problem) : errors::Failure("", problem, errors::kExitDataError) {}
};

// One 40-byte section header as the file holds it.
struct SectionHeader {
  std::string name;  // up to 8 bytes, without padding NULs
  std::uint32_t virtualSize = 0;
  std::uint32_t virtualAddress = 0;
  std::uint32_t sizeOfRawData = 0;
  std::uint32_t pointerToRawData = 0;
  std::uint32_t characteristics = 0;
};

struct DataDirectoryEntry {
  std::uint32_t rva = 0;  // a file offset for the security directory
  std::uint32_t size = 0;
};

struct StubImage {
  std::vector<std::uint8_t> bytes;   // the whole file
  std::uint32_t peOffset = 0;        // e_lfanew: the PE signature
  std::uint32_t sizeOfHeaders = 0;
  std::uint32_t fileAlignment = 0;
  std::uint32_t sectionAlignment = 0;
  std::vector<SectionHeader> sections;  // in table order
  DataDirectoryEntry directories[format::pe_layout::kDataDirectoryCount];
  std::size_t resourceSection = 0;   // index of the ".rsrc" section
  // Every resource, in directory order; data copied out of the file. The
  // resource the installer takes first is resources.front().
  std::vector<imagewriter::ResourceItem> resources;

  // File offsets of header fields, for the packer's fix-ups.
  std::uint32_t FileHeaderOffset() const {
    return peOffset + format::pe_layout::kFileHeaderFromSignature;
  }
  std::uint32_t OptionalHeaderOffset() const {
    return peOffset + format::pe_layout::kOptionalHeaderFromSignature;
  }
  std::uint32_t SectionTableOffset() const {
    return peOffset + format::pe_layout::kSectionTableFromSignature;
  }
};

// Parses `bytes` as a PE32 image with a ".rsrc" section that holds the
// resource directory. Throws StubError naming what is wrong.
StubImage ReadStubImage(std::vector<std::uint8_t> bytes);

// True when `item` is the payload's home: type LASTRES, id 1000, language 1033.
bool IsPayloadResource(const imagewriter::ResourceItem& item);

// Throws StubError unless the first resource in directory order (the one
// the installer's walk takes) is LASTRES 1000 in language 1033.
void RequirePayloadResourceFirst(const StubImage& stub);

}  // namespace packer
