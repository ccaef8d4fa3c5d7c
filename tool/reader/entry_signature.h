// Whether a program inside an image (the screen saver, UNINSTAL.EXE) carries
// an Authenticode signature of its own. The entry's decoded bytes are what
// is checked, with the same certificate-table walk as the image's own
// (ReadCertificateTable); no cryptographic check is made here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool/reader/image_entry_reader.h"
#include "tool/reader/payload_image.h"

namespace reader {

enum class EntrySignatureState {
  kNotPe,     // the entry's bytes are no PE image (no MZ, or no PE header behind it)
  kNotRead,   // not decoded: the installer writes no such entry, or it is damaged
  kTooLarge,  // a PE larger than kMostCheckedEntryBytes: not held, not checked
  kUnsigned,
  kSigned,
  kDamaged,   // see `damage`
};

struct EntrySignature {
  EntrySignatureState state = EntrySignatureState::kNotRead;
  std::string damage;  // for kDamaged, what is wrong with the table
};

// The largest PE entry held in memory for the check: far more than any
// screen saver or uninstaller, and a bound on what a hostile image costs.
constexpr std::size_t kMostCheckedEntryBytes = 64u << 20;

// Collects one entry's decoded bytes while they may be a PE: from the
// first two bytes on, an entry that does not start with "MZ" is dropped.
class PeEntryCollector {
 public:
  // A sink for ReadImageEntry; Start() before each entry.
  ChunkSink Sink();
  void Start();
  // The entry's state once it was read whole.
  EntrySignature Result() const;

 private:
  bool Take(const std::uint8_t* data, std::size_t size);

  std::vector<std::uint8_t> bytes_;
  bool notPe_ = false;
  bool tooLarge_ = false;
};

}  // namespace reader
