// Our releases recognised: the digest that signing leaves unchanged, and
// this build's UNINSTAL.EXE recognised by its identity and pinned digest
// (a stale pin after a change to the uninstaller fails here).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/format/manifest_layout.h"
#include "core/format/pe_header_fields.h"
#include "core/imagewriter/pe_image_writer.h"
#include "saverkit_version.h"
#include "stub_fixture.h"
#include "temp_files.h"
#include "tool/verify/release_identity.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// `pe` as signing leaves it: padded to 8 bytes, a certificate table of one
// WIN_CERTIFICATE behind it, the directory entry naming it, a new checksum.
Bytes SignedLike(Bytes pe) {
  format::PeHeaderFields fields;
  EXPECT_TRUE(format::FindPeHeaderFields(pe, &fields));
  pe.resize((pe.size() + 7) / 8 * 8, 0);
  const std::uint32_t offset = static_cast<std::uint32_t>(pe.size());
  const Bytes certificate = {16, 0, 0, 0, 0x00, 0x02, 0x02, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};  // revision 2.0, PKCS#7
  pe.insert(pe.end(), certificate.begin(), certificate.end());
  format::WriteLe32(&pe[fields.securityDirectory], offset);
  format::WriteLe32(&pe[fields.securityDirectory + 4], static_cast<std::uint32_t>(certificate.size()));
  format::WriteLe32(&pe[fields.checksum], 0x12345678);
  return pe;
}

TEST(ReleaseDigest, SigningLeavesItAndAnyOtherByteChangesIt) {
  const Bytes program = packtest::MakeProgram(3);
  ASSERT_EQ(program.size() % 8, 0u);  // as a linker's output is
  const std::string digest = verify::ReleaseDigest(program);
  ASSERT_EQ(digest.size(), 64u);
  EXPECT_EQ(verify::ReleaseDigest(SignedLike(program)), digest);

  Bytes changed = program;
  changed[changed.size() - 1] ^= 1;
  EXPECT_NE(verify::ReleaseDigest(changed), digest);
  Bytes trailing = SignedLike(program);
  trailing.push_back(0);  // data after the table is no signing's
  EXPECT_NE(verify::ReleaseDigest(trailing), digest);
  // No PE, or a table where signing never puts one: no digest.
  EXPECT_EQ(verify::ReleaseDigest(Bytes{'M', 'Z'}), "");
  Bytes amongHeaders = SignedLike(program);
  format::PeHeaderFields fields;
  ASSERT_TRUE(format::FindPeHeaderFields(amongHeaders, &fields));
  format::WriteLe32(&amongHeaders[fields.securityDirectory], 8);
  EXPECT_EQ(verify::ReleaseDigest(amongHeaders), "");
}

TEST(UninstallerRelease, ThisBuildsUninstallerIsOursAndAChangedOneIsNot) {
  if (!std::filesystem::exists(SAVERKIT_WIN32_UNINSTALLER)) GTEST_SKIP() << "no win32 build: " << SAVERKIT_WIN32_UNINSTALLER;
  const Bytes ours = testsupport::ReadFileBytes(SAVERKIT_WIN32_UNINSTALLER);
  const verify::UninstallerRelease release = verify::RecogniseUninstaller(ours);
  EXPECT_TRUE(release.ours) << release.why
                            << " (after a change to the uninstaller: scripts/check-demo-checksum.sh --update)";
  EXPECT_EQ(release.identity, "Saverkit " SAVERKIT_VERSION);
  EXPECT_TRUE(verify::RecogniseUninstaller(SignedLike(ours)).ours);

  Bytes changed = ours;
  changed[0x600] ^= 0x40;  // in the code, far from the identity
  EXPECT_EQ(verify::RecogniseUninstaller(changed).why,
            "its bytes are not those of Saverkit " SAVERKIT_VERSION "'s UNINSTAL.EXE");
  EXPECT_EQ(verify::RecogniseUninstaller(packtest::MakeProgram(4)).why, "it carries no SAVERKIT identity");
}

}  // namespace
