// The Authenticode certificate table of a PE image (data directory 4),
// read through any byte source (an image file, bytes in memory, the parts of
// a decoded entry that PeEntryCollector keeps): one walk for the image's own
// table and for the programs inside it. No cryptographic check is made.
//
//   Source: bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size)
//           false when the bytes are not all there
//           std::uint64_t Size() const
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/format/pe_header_fields.h"
#include "core/format/pe_layout.h"

namespace reader {

// The image's Authenticode certificate table (data directory 4). The
// installer never reads it; a report says whether the image is signed and
// whether the signature covers what the installer reads.
enum class SignatureState {
  kUnsigned,  // the directory entry is zero (or the headers do not hold one)
  kSigned,    // a table of WIN_CERTIFICATE entries lies wholly inside the file
  kDamaged,   // the entry names a table that cannot be one: see `damage`
};

struct CertificateTable {
  SignatureState state = SignatureState::kUnsigned;
  std::uint32_t offset = 0;  // file offset of the table, as the entry says
  std::uint32_t size = 0;    // its size in bytes, as the entry says
  std::string damage;        // for Damaged, what is wrong in a few words
};

// A WIN_CERTIFICATE: u32 dwLength (header included), u16 wRevision, u16
// wCertificateType, then the certificate; each starts on an 8-byte boundary.
constexpr std::uint32_t kCertificateHeaderSize = 8;
constexpr std::uint32_t kCertificateAlignment = 8;
// More than any signer writes (one signature, nested ones inside it).
constexpr unsigned kMostCertificates = 256;

inline bool KnownCertificateKind(std::uint16_t revision, std::uint16_t type) {
  const bool knownRevision = revision == 0x0100 || revision == 0x0200;  // WIN_CERT_REVISION_1_0, _2_0
  // WIN_CERT_TYPE_X509, _PKCS_SIGNED_DATA, _TS_STACK_SIGNED
  const bool knownType = type == 0x0001 || type == 0x0002 || type == 0x0004;
  return knownRevision && knownType;
}

// Where the headers end: behind the section table, or SizeOfHeaders when
// that says more; 0 when they cannot be read.
template <class Source>
std::uint64_t HeadersEnd(Source& file) {
  namespace pe = format::pe_layout;
  std::uint32_t signature = 0;
  std::uint8_t count[2], sizeOfHeaders[4];
  if (!format::FindPeSignature(file, &signature) ||
      !file.ReadAt(std::uint64_t{signature} + pe::kFileHeaderFromSignature + pe::kNumberOfSections, count, 2) ||
      !file.ReadAt(std::uint64_t{signature} + pe::kOptionalHeaderFromSignature + pe::kSizeOfHeaders, sizeOfHeaders, 4))
    return 0;
  const std::uint64_t sectionTableEnd =
      std::uint64_t{signature} + pe::kSectionTableFromSignature + std::uint64_t{format::ReadLe16(count)} * pe::kSectionHeaderSize;
  return std::max<std::uint64_t>(sectionTableEnd, format::ReadLe32(sizeOfHeaders));
}

// Walks every WIN_CERTIFICATE of a table that lies inside the file; empty
// when all are sound, else what is wrong.
template <class Source>
std::string CertificatesDamage(Source& file, std::uint32_t offset, std::uint32_t size) {
  std::uint64_t at = offset;
  const std::uint64_t end = std::uint64_t{offset} + size;
  for (unsigned count = 0; at < end; ++count) {
    if (count == kMostCertificates) return "more than " + std::to_string(kMostCertificates) + " certificates";
    std::uint8_t header[kCertificateHeaderSize];
    if (end - at < kCertificateHeaderSize || !file.ReadAt(at, header, sizeof header))
      return "certificate length does not fit its table";
    const std::uint32_t length = format::ReadLe32(header);
    if (length < kCertificateHeaderSize || length > end - at) return "certificate length does not fit its table";
    if (!KnownCertificateKind(format::ReadLe16(header + 4), format::ReadLe16(header + 6)))
      return "unknown certificate revision or type";
    at += (std::uint64_t{length} + kCertificateAlignment - 1) / kCertificateAlignment * kCertificateAlignment;
  }
  return std::string();
}

// Data directory 4 as the headers give it: the table's file offset and
// size; false when the headers do not reach it. `fields` says where the
// headers' fields lie.
template <class Source>
bool ReadCertificateEntry(Source& file, format::PeHeaderFields* fields, std::uint32_t* offset, std::uint32_t* size) {
  std::uint8_t entry[8];
  if (!format::FindPeHeaderFieldsIn(file, fields) || !file.ReadAt(fields->securityDirectory, entry, sizeof entry))
    return false;
  *offset = format::ReadLe32(entry);
  *size = format::ReadLe32(entry + 4);
  return true;
}

// Reads data directory 4 and checks the table it names against the file,
// and every certificate in it; every field is hostile. One walk for the
// image's own table and for the decoded bytes of a PE entry.
template <class Source>
CertificateTable CertificateTableOf(Source& file) {
  CertificateTable table;
  format::PeHeaderFields fields;
  if (!ReadCertificateEntry(file, &fields, &table.offset, &table.size)) return table;
  if (table.offset == 0 && table.size == 0) return table;

  table.state = SignatureState::kDamaged;
  const std::uint64_t end = std::uint64_t{table.offset} + table.size;
  const std::uint64_t headersEnd = HeadersEnd(file);
  if (table.size < kCertificateHeaderSize) {
    table.damage = "certificate table smaller than one certificate header";
  } else if (end > file.Size()) {
    table.damage = "certificate table runs past the end of the file";
  } else if (table.offset < fields.securityDirectory + 8 || headersEnd == 0 || table.offset < headersEnd) {
    table.damage = "certificate table lies inside the PE headers";
  } else if (table.offset % kCertificateAlignment != 0) {
    table.damage = "certificate table is not 8-byte aligned";
  } else {
    table.damage = CertificatesDamage(file, table.offset, table.size);
    if (table.damage.empty()) table.state = SignatureState::kSigned;
  }
  return table;
}

}  // namespace reader
