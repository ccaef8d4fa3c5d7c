// Packing the installer program that the win32 build makes, when it is
// there: its headers and resources must suit the packer as they stand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "tool/packer/packer.h"
#include "core/imagewriter/pe_checksum.h"
#include "tool/packer/stub_image.h"
#include "core/format/manifest_layout.h"
#include "core/format/installer_identity.h"
#include "core/format/memory_source.h"
#include "core/format/pe_layout.h"
#include "core/format/version_info.h"
#include "saverkit_version.h"
#include "stub_fixture.h"
#include "temp_files.h"

using format::ReadLe32;

using namespace imagewriter;
using namespace packer;

namespace {

std::string BuiltInstaller() {
  if (const char* path = std::getenv("SAVERKIT_INSTALLER_EXE")) return path;
  return SAVERKIT_WIN32_INSTALLER;
}

TEST(BuiltInstaller, PacksAndKeepsItsDialogsAndIcon) {
  const std::string path = BuiltInstaller();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not built (run the win32 preset)";
  const StubImage stub = ReadStubImage(testsupport::ReadFileBytes(path));
  RequirePayloadResourceFirst(stub);
  const std::uint32_t checksumAt = stub.OptionalHeaderOffset() + format::pe_layout::kCheckSum;
  const std::uint32_t linkerChecksum = ReadLe32(&stub.bytes[checksumAt]);
  if (linkerChecksum != 0) {
    EXPECT_EQ(ComputePeChecksum(stub.bytes, checksumAt), linkerChecksum);
  }

  auto has = [&](std::uint16_t type, std::uint16_t id) {
    for (const ResourceItem& item : stub.resources)
      if (!item.type.IsNamed() && item.type.id == type && item.name.id == id) return true;
    return false;
  };
  for (std::uint16_t dialog : {103, 104, 106, 107}) EXPECT_TRUE(has(5, dialog)) << dialog;
  EXPECT_TRUE(has(14, 101));  // the icon's group

  PackRequest request;
  request.title = "Night Sky";
  request.saver = {"night.scr", packtest::TextLikeBytes(40000, 1)};
  request.data = {"night.dat", packtest::NoiseBytes(2000, 2)};
  request.uninstaller = {"UNINSTAL.EXE", packtest::TextLikeBytes(9000, 3)};
  request.media = {{"melody.mid", packtest::TextLikeBytes(700, 4)}};
  request.publisher = "Example Ltd";
  request.version = "2.5";
  const PackResult result = PackInstaller(stub, request);
  testsupport::TempFolder folder;
  EXPECT_NO_THROW(VerifyPackedImage(folder.Write("setup.exe", result.image), stub, request));

  // windres wrote the stub's neutral VERSIONINFO and its identity; the
  // format reader reads both, and after packing the identity is unchanged
  // while the VERSIONINFO is the author's.
  format::MemoryImageSource stubSource(stub.bytes), packedSource(result.image);
  format::VersionInfoFields version;
  ASSERT_EQ(format::ReadImageVersionInfo(stubSource, &version), format::VersionInfoStatus::kRead);
  EXPECT_STREQ(version.text[format::kFileDescription], "Screen saver installer (not packed)");
  EXPECT_FALSE(version.present[format::kCompanyName]);
  char identity[format::kInstallerIdentitySize], packedIdentity[format::kInstallerIdentitySize];
  ASSERT_TRUE(format::ReadInstallerIdentity(stubSource, identity));
  EXPECT_EQ(std::string(identity), "Saverkit " SAVERKIT_VERSION);
  ASSERT_TRUE(format::ReadInstallerIdentity(packedSource, packedIdentity));
  EXPECT_STREQ(packedIdentity, identity);
  ASSERT_EQ(format::ReadImageVersionInfo(packedSource, &version), format::VersionInfoStatus::kRead);
  EXPECT_STREQ(version.text[format::kCompanyName], "Example Ltd");
  EXPECT_STREQ(version.text[format::kFileDescription], "Night Sky Setup");
  EXPECT_EQ(version.fileVersion[0] * 100 + version.fileVersion[1], 205);
}

}  // namespace
