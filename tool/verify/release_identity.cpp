// Recognising our releases by identity and digest.
#include "tool/verify/release_identity.h"

#include "core/format/installer_identity.h"
#include "core/format/memory_source.h"
#include "core/format/pe_header_fields.h"
#include "tool/commands/sha256.h"
#include "tool/reader/payload_image.h"
#include "tool/verify/known_releases.h"

namespace verify {

bool IsOurInstallerProgram(const std::string& identity) { return identity == kOurIdentity; }

std::string ReleaseDigest(const std::vector<std::uint8_t>& pe) {
  format::PeHeaderFields fields;
  if (!format::FindPeHeaderFields(pe, &fields)) return "";
  const reader::CertificateTable table = reader::ReadCertificateTable(pe);
  if (table.state == reader::SignatureState::kDamaged) return "";
  const bool signed_ = table.state == reader::SignatureState::kSigned;
  // A table among the headers is no table signing appends.
  if (signed_ && table.offset < fields.securityDirectory + 8) return "";
  // Everything but the table: data behind it is no signing's and counts.
  std::vector<std::uint8_t> beforeSigning(pe.begin(), signed_ ? pe.begin() + table.offset : pe.end());
  if (signed_) beforeSigning.insert(beforeSigning.end(), pe.begin() + table.offset + table.size, pe.end());
  // FindPeHeaderFields checked that both fields lie inside the file, and
  // the table (when left out) begins after them.
  for (std::uint32_t i = 0; i < 4; ++i) beforeSigning[fields.checksum + i] = 0;
  for (std::uint32_t i = 0; i < 8; ++i) beforeSigning[fields.securityDirectory + i] = 0;
  return commands::Sha256Hex(beforeSigning);
}

UninstallerRelease RecogniseUninstaller(const std::vector<std::uint8_t>& pe) {
  UninstallerRelease release;
  format::MemoryImageSource source(pe);
  char identity[format::kInstallerIdentitySize];
  if (!reader::IsPeImage(pe)) {
    release.why = "it is no PE program";
    return release;
  }
  if (!format::ReadInstallerIdentity(source, identity)) {
    release.why = "it carries no SAVERKIT identity";
    return release;
  }
  release.identity = identity;
  if (release.identity != kOurIdentity) {
    release.why = "its identity is \"" + release.identity + "\", not \"" + kOurIdentity + "\"";
    return release;
  }
  if (ReleaseDigest(pe) != kOurUninstallerDigest) {
    release.why = "its bytes are not those of " + std::string(kOurIdentity) + "'s UNINSTAL.EXE";
    return release;
  }
  release.ours = true;
  return release;
}

}  // namespace verify
