// The walk to the manifest, the manifest header reader and the lookups of
// VERSIONINFO and our identity on arbitrary bytes in memory, and the tool's
// loader over them as a file: none reads outside the bytes, and what the
// loader accepts the walk over memory found the same, every entry inside.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "tool/reader/entry_signature.h"
#include "tool/reader/payload_image.h"
#include "core/format/image_walk.h"
#include "core/format/installer_identity.h"
#include "core/format/version_info.h"
#include "core/format/manifest_header.h"
#include "core/format/manifest_layout.h"
#include "core/format/memory_source.h"
#include "core/format/source_cursor.h"

using namespace format;

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

  VersionInfoFields version;
  ReadImageVersionInfo(memory, &version);
  char identity[kInstallerIdentitySize];
  ReadInstallerIdentity(memory, identity);
  FUZZ_CHECK(std::strlen(identity) < kInstallerIdentitySize);

  const std::string path = "/tmp/saverkit-fuzz-image-walk-" + std::to_string(getpid()) + ".exe";
  WriteInputFile(path, data, size);
  try {
    const reader::PayloadImage image = reader::LoadPayloadImage(path);
    FUZZ_CHECK(walked == ManifestWalkError::kNone && headerRead && image.walk.manifestOffset == walk.manifestOffset);
    FUZZ_CHECK(image.licenseLength == licenseLength && image.licenseText.size() == licenseLength);
    FUZZ_CHECK(image.numberBase == numberBase && std::strcmp(image.titleField, title) == 0);
    FUZZ_CHECK(image.fileSize == size && image.versionInfo.status == version.status);
    FUZZ_CHECK(image.installerProgram == identity);
    FUZZ_CHECK(image.entries.size() * kEntrySize <= size);
    for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
      if (image.DataInsideFile(image.entries[i]))
        FUZZ_CHECK(std::uint64_t{image.entries[i].DataOffset} + image.entries[i].StoredSize <= size);
      (void)image.InstallerRefusalOf(i);
    }
    (void)image.InstallTotalBytes();
    // The certificate walk over the bytes in memory says what the image's own check says.
    const auto inMemory = reader::ReadCertificateTable(std::vector<std::uint8_t>(data, data + size));
    FUZZ_CHECK(inMemory.state == image.certificates.state && inMemory.damage == image.certificates.damage);
  } catch (const reader::ImageError& e) {
    FUZZ_CHECK(e.what()[0] != '\0' && std::strchr(e.what(), '\n') == nullptr);
  }
  std::remove(path.c_str());

  // The bytes as a decoded entry, in chunks of 1 to 64 KiB: what the
  // collector keeps gives the check's answer on the whole bytes.
  const std::vector<std::uint8_t> whole(data, data + size);
  reader::EntrySignature expected;
  expected.state = reader::EntrySignatureState::kNotPe;
  if (reader::IsPeImage(whole)) expected = reader::SignatureOfTable(reader::ReadCertificateTable(whole));
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{61}, std::size_t{1} + size % 4093, std::size_t{65536}}) {
    reader::PeEntryCollector collector;
    const reader::ChunkSink sink = collector.Sink();
    for (std::size_t at = 0; at < size; at += chunk) sink(data + at, std::min(chunk, size - at));
    const reader::EntrySignature kept = collector.Result();
    FUZZ_CHECK(kept.state == expected.state);
    FUZZ_CHECK(kept.damage == expected.damage);
  }
  return 0;
}
