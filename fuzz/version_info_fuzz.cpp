// The VERSIONINFO reader on arbitrary bytes as a resource's data: it reads
// only them, each text ends inside its field with no control character, and
// what it read whole writes (BuildVersionInfo) and reads back the same.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/format/memory_source.h"
#include "core/format/version_info.h"
#include "core/imagewriter/version_info_writer.h"
#include "fuzz_check.h"

using namespace format;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryImageSource memory(data, size);
  VersionInfoFields fields;
  const std::uint32_t declared = size >= 2 ? ReadLe16(data) : 0;
  ReadVersionInfo(memory, 0, declared, &fields);
  imagewriter::VersionInfoContents again;
  for (unsigned field = 0; field < kVersionFieldCount; ++field) {
    const std::size_t length = strnlen(fields.text[field], kVersionFieldSize);
    FUZZ_CHECK(length < kVersionFieldSize && (fields.present[field] || length == 0));
    FUZZ_CHECK(std::none_of(fields.text[field], fields.text[field] + length,
                            [](unsigned char c) { return c < 0x20 || c == 0x7F; }));
    again.text[field] = fields.text[field];
  }
  if (fields.status != VersionInfoStatus::kRead) return 0;
  std::copy(fields.fileVersion, fields.fileVersion + 4, again.fileVersion);
  std::copy(fields.productVersion, fields.productVersion + 4, again.productVersion);
  const std::vector<std::uint8_t> written = imagewriter::BuildVersionInfo(again);
  MemoryImageSource rewritten(written);
  VersionInfoFields reread;
  FUZZ_CHECK(ReadVersionInfo(rewritten, 0, static_cast<std::uint32_t>(written.size()), &reread) ==
             VersionInfoStatus::kRead);
  for (unsigned field = 0; field < kVersionFieldCount; ++field) {
    FUZZ_CHECK(std::strcmp(reread.text[field], fields.text[field]) == 0);
    FUZZ_CHECK(reread.present[field] == (fields.text[field][0] != '\0'));
  }
  if (fields.hasFixedInfo) FUZZ_CHECK(std::memcmp(reread.fileVersion, fields.fileVersion, sizeof fields.fileVersion) == 0);
  return 0;
}
