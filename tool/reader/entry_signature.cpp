// Collecting PE entries and checking their certificate tables.
#include "tool/reader/entry_signature.h"

#include "core/format/pe_layout.h"

namespace reader {

ChunkSink PeEntryCollector::Sink() {
  return [this](const std::uint8_t* data, std::size_t size) { return Take(data, size); };
}

void PeEntryCollector::Start() {
  bytes_.clear();
  notPe_ = false;
  tooLarge_ = false;
}

// Always true: the entry is read to its end whatever it holds, so that the
// ring is left as the installer leaves it.
bool PeEntryCollector::Take(const std::uint8_t* data, std::size_t size) {
  if (notPe_ || tooLarge_) return true;
  if (bytes_.empty() && size >= 2 && !format::pe_layout::IsMzSignature(data)) {
    notPe_ = true;
    return true;
  }
  if (size > kMostCheckedEntryBytes - bytes_.size()) {
    tooLarge_ = true;
    bytes_.clear();
    bytes_.shrink_to_fit();
    return true;
  }
  bytes_.insert(bytes_.end(), data, data + size);
  if (bytes_.size() >= 2 && !format::pe_layout::IsMzSignature(bytes_.data())) {
    notPe_ = true;
    bytes_.clear();
  }
  return true;
}

EntrySignature PeEntryCollector::Result() const {
  EntrySignature result;
  if (tooLarge_) {
    result.state = EntrySignatureState::kTooLarge;
    return result;
  }
  if (notPe_ || !IsPeImage(bytes_)) {
    result.state = EntrySignatureState::kNotPe;
    return result;
  }
  const CertificateTable table = ReadCertificateTable(bytes_);
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

}  // namespace reader
