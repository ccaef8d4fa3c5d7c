// Whether a program inside an image (the screen saver, UNINSTAL.EXE) carries
// an Authenticode signature of its own. The entry's decoded bytes are what
// is checked, with the same certificate-table walk as the image's own
// (certificate_table.h); no cryptographic check is made here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool/reader/certificate_table.h"
#include "tool/reader/image_entry_reader.h"

namespace reader {

enum class EntrySignatureState {
  kNotPe,     // the entry's bytes are no PE image (no MZ, or no PE header behind it)
  kNotRead,   // not decoded: the installer writes no such entry, or it is damaged
  kTooLarge,  // headers or certificate table past kMostCheckedEntryBytes: not checked
  kUnsigned,
  kSigned,
  kDamaged,   // see `damage`
};

struct EntrySignature {
  EntrySignatureState state = EntrySignatureState::kNotRead;
  std::string damage;  // for kDamaged, what is wrong with the table
};

// What a PE entry's certificate table, walked whole, says of the entry.
EntrySignature SignatureOfTable(const CertificateTable& table);

// The most bytes of one entry held for the check (its headers and its
// certificate table): far more than any program's, and a bound on what a
// hostile image costs.
constexpr std::size_t kMostCheckedEntryBytes = 64u << 20;

// Keeps, as an entry's decoded bytes go by, what the certificate check
// reads: the first bytes until the PE headers in them can be read, then only
// the bytes of the certificate table those headers name. A program of many
// megabytes is never held whole; the check gives what it gives on the whole
// bytes.
class PeEntryCollector {
 public:
  // A sink for ReadImageEntry; one collector per entry.
  ChunkSink Sink();
  // The entry's state once it was read whole.
  EntrySignature Result() const;

 private:
  bool Take(const std::uint8_t* data, std::size_t size);
  void TryHeaders();
  void KeepTableBytes(const std::uint8_t* data, std::size_t size, std::uint64_t at);

  std::vector<std::uint8_t> head_;   // the first bytes, until the headers are read
  bool headersRead_ = false;         // head_ holds every header byte the check reads
  std::uint64_t tableOffset_ = 0;    // the table the headers name: [offset, end)
  std::uint64_t tableEnd_ = 0;
  std::vector<std::uint8_t> table_;  // its bytes from tableOffset_ on, as far as seen
  std::uint64_t seen_ = 0;           // bytes of the entry so far
  bool tooLarge_ = false;
};

}  // namespace reader
