// The walk to the manifest, the manifest header reader and the lookups of
// VERSIONINFO and the installer's identity on arbitrary bytes, over memory
// and over a file through the tool's loader. Neither may
// read outside the bytes, and both must agree: when the loader accepts an
// image, the walk over memory found the same manifest, and every entry it
// lists was read from inside the file.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "tool/reader/payload_image.h"
#include "core/format/image_walk.h"
#include "core/format/installer_identity.h"
#include "core/format/version_info.h"
#include "core/format/manifest_header.h"
#include "core/format/manifest_layout.h"
#include "core/format/memory_source.h"
#include "core/format/source_cursor.h"

using namespace format;
using reader::ImageError;
using reader::LoadPayloadImage;
using reader::PayloadImage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryImageSource memory(data, size);
  ManifestWalkInfo walk;
  const ManifestWalkError walked = WalkToManifest(memory, &walk);
  bool headerRead = false;
  std::uint16_t licenseLength = 0, numberBase = 0;
  char title[kTitleFieldSize + 1] = {};
  if (walked == ManifestWalkError::kNone) {
    SourceCursor<MemoryImageSource> cursor(memory, walk.manifestOffset);
    ManifestHeaderTargets targets;
    targets.title = title;
    targets.numberBase = &numberBase;
    headerRead = ReadManifestHeader(cursor, targets, &licenseLength);
    FUZZ_CHECK(title[kTitleFieldSize] == '\0');
  }

  // The lookups by type and name over the same bytes: VERSIONINFO and our
  // identity, bounded whatever the tree says.
  VersionInfoFields version;
  ReadImageVersionInfo(memory, &version);
  char identity[kInstallerIdentitySize];
  ReadInstallerIdentity(memory, identity);
  FUZZ_CHECK(std::strlen(identity) < kInstallerIdentitySize);

  const std::string path = "/tmp/saverkit-fuzz-image-walk-" + std::to_string(getpid()) + ".exe";
  WriteInputFile(path, data, size);
  try {
    const PayloadImage image = LoadPayloadImage(path);
    FUZZ_CHECK(walked == ManifestWalkError::kNone && headerRead);
    FUZZ_CHECK(image.walk.manifestOffset == walk.manifestOffset);
    FUZZ_CHECK(image.licenseLength == licenseLength && image.licenseText.size() == licenseLength);
    FUZZ_CHECK(image.numberBase == numberBase);
    FUZZ_CHECK(std::strcmp(image.titleField, title) == 0);
    FUZZ_CHECK(image.fileSize == size);
    FUZZ_CHECK(image.versionInfo.status == version.status);
    FUZZ_CHECK(image.installerProgram == identity);
    // Every entry came out of the file: the table cannot list more than it holds.
    FUZZ_CHECK(image.entries.size() * kEntrySize <= size);
    for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
      if (image.DataInsideFile(image.entries[i]))
        FUZZ_CHECK(std::uint64_t{image.entries[i].DataOffset} + image.entries[i].StoredSize <= size);
      (void)image.InstallerRefusalOf(i);
    }
    (void)image.InstallTotalBytes();
    // The walk that checks a PE entry's decoded bytes, over the same bytes
    // in memory, says what the image's own check says.
    const reader::CertificateTable inMemory =
        reader::ReadCertificateTable(std::vector<std::uint8_t>(data, data + size));
    FUZZ_CHECK(inMemory.state == image.certificates.state && inMemory.damage == image.certificates.damage);
  } catch (const ImageError& e) {
    FUZZ_CHECK(e.what()[0] != '\0' && std::strchr(e.what(), '\n') == nullptr);
  }
  std::remove(path.c_str());
  return 0;
}
