// Collecting what the certificate check of a PE entry reads.
#include "tool/reader/entry_signature.h"

#include <algorithm>
#include <cstring>

#include "tool/reader/certificate_table.h"

namespace reader {

namespace {

// The entry as the collector keeps it: its first bytes, and the bytes of
// one range further on, in an entry of `size` bytes. Every read the check
// makes lies in one of the two (see TryHeaders); any other is refused.
struct KeptBytes {
  const std::vector<std::uint8_t>& head;
  std::uint64_t tableOffset;
  const std::vector<std::uint8_t>& table;
  std::uint64_t size;
  // Set when a read asked for bytes past the head.
  bool wantedMore = false;

  bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t count) {
    if (offset <= head.size() && count <= head.size() - offset) {
      if (count > 0) std::memcpy(buffer, head.data() + offset, count);
      return true;
    }
    if (offset >= tableOffset && offset - tableOffset <= table.size() &&
        count <= table.size() - (offset - tableOffset)) {
      if (count > 0) std::memcpy(buffer, table.data() + (offset - tableOffset), count);
      return true;
    }
    wantedMore = true;
    return false;
  }
  std::uint64_t Size() const { return size; }
};

const std::vector<std::uint8_t> kNothing;

}  // namespace

EntrySignature SignatureOfTable(const CertificateTable& table) {
  EntrySignature result;
  switch (table.state) {
    case SignatureState::kUnsigned: result.state = EntrySignatureState::kUnsigned; break;
    case SignatureState::kSigned: result.state = EntrySignatureState::kSigned; break;
    case SignatureState::kDamaged:
      result.state = EntrySignatureState::kDamaged;
      result.damage = table.damage;
      break;
  }
  return result;
}

ChunkSink PeEntryCollector::Sink() {
  return [this](const std::uint8_t* data, std::size_t size) { return Take(data, size); };
}

// The reads of the check that come before the table's own: MZ and PE
// signatures, the optional header's data directory 4, the headers' end.
// Once they all find their bytes in head_, or fail without wanting more,
// head_ holds all the check reads of the headers, and what else it reads
// lies in the table they name.
void PeEntryCollector::TryHeaders() {
  KeptBytes kept{head_, 0, kNothing, ~std::uint64_t{0}};
  format::PeHeaderFields fields;
  std::uint32_t offset = 0, size = 0;
  const bool found = ReadCertificateEntry(kept, &fields, &offset, &size);
  HeadersEnd(kept);
  if (kept.wantedMore) return;
  headersRead_ = true;
  if (!found) return;
  tableOffset_ = offset;
  tableEnd_ = std::uint64_t{offset} + size;
  // What of the table the head already holds.
  if (tableOffset_ < head_.size())
    KeepTableBytes(head_.data() + tableOffset_, head_.size() - tableOffset_, tableOffset_);
}

void PeEntryCollector::KeepTableBytes(const std::uint8_t* data, std::size_t size, std::uint64_t at) {
  const std::uint64_t from = std::max(at, tableOffset_);
  const std::uint64_t to = std::min(at + size, tableEnd_);
  if (from >= to) return;
  if (to - from > kMostCheckedEntryBytes - table_.size()) {
    tooLarge_ = true;
    return;
  }
  table_.insert(table_.end(), data + (from - at), data + (to - at));
}

// Always true: the entry is read to its end whatever it holds, so that the
// ring is left as the installer leaves it.
bool PeEntryCollector::Take(const std::uint8_t* data, std::size_t size) {
  const std::uint64_t at = seen_;
  seen_ += size;
  if (tooLarge_) return true;
  if (!headersRead_) {
    if (size > kMostCheckedEntryBytes - head_.size()) {
      tooLarge_ = true;
      return true;
    }
    head_.insert(head_.end(), data, data + size);
    TryHeaders();
    return true;
  }
  KeepTableBytes(data, size, at);
  return true;
}

EntrySignature PeEntryCollector::Result() const {
  EntrySignature result;
  if (tooLarge_) {
    result.state = EntrySignatureState::kTooLarge;
    return result;
  }
  // An entry that ended before its headers could be read is all in head_.
  KeptBytes kept{head_, tableOffset_, table_, seen_};
  std::uint32_t signature = 0;
  if (!format::FindPeSignature(kept, &signature)) {
    result.state = EntrySignatureState::kNotPe;
    return result;
  }
  return SignatureOfTable(CertificateTableOf(kept));
}

}  // namespace reader
