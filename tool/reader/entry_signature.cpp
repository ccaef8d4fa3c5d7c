// Collecting PE entries and checking their certificate tables.
#include "tool/reader/entry_signature.h"

#include <memory>

#include "core/format/pe_layout.h"
#include "tool/errors/failure.h"

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

std::vector<EntrySignature> ReadEntrySignatures(const PayloadImage& image) {
  ImageFile file;
  file.Open(image.path);
  return ReadEntrySignatures(image, file);
}

std::vector<EntrySignature> ReadEntrySignatures(const PayloadImage& image, ImageFile& file) {
  std::vector<EntrySignature> signatures(image.entries.size());
  auto decoder = std::make_unique<codec::DecoderState>();  // the ring starts at zero, as in the installer
  WorkBudget budget(file.Size());
  PeEntryCollector collector;
  const ChunkSink sink = collector.Sink();
  try {
    for (std::uint32_t i = 0; i < image.entries.size(); ++i) {
      // Only what the installer writes passes through the decoder.
      if (image.InstallerRefusalOf(i) != format::InstallRefusal::kNone) continue;
      collector.Start();
      EntryReport report;
      ReadImageEntry(file, image.entries[i], *decoder, budget, sink, &report);
      if (report.verdict == EntryVerdict::kOk) signatures[i] = collector.Result();
    }
  } catch (const errors::Failure&) {
    // The budget is spent or the file cannot be read: the rest stay kNotRead.
  }
  return signatures;
}

}  // namespace reader
