// Decoding entries in the installer's order, with the ring carried over.
#include <memory>

#include "core/codec/decoder_core.h"
#include "libsaverkit/failures.h"
#include "libsaverkit/image_impl.h"
#include "saverkit/image.h"
#include "tool/reader/entry_signature.h"
#include "tool/reader/image_entry_reader.h"
#include "tool/reader/work_budget.h"

namespace saverkit {

namespace {

EntryStatus StatusOf(reader::EntryVerdict verdict) {
  switch (verdict) {
    case reader::EntryVerdict::kOk: return EntryStatus::kOk;
    case reader::EntryVerdict::kDataBeyondEnd: return EntryStatus::kDataBeyondEnd;
    case reader::EntryVerdict::kTruncated: return EntryStatus::kTruncated;
    case reader::EntryVerdict::kTooLarge: return EntryStatus::kTooLarge;
    case reader::EntryVerdict::kReadFailed: return EntryStatus::kReadFailed;
  }
  return EntryStatus::kReadFailed;
}

bool Discard(const std::uint8_t*, std::size_t) { return true; }

}  // namespace

const char* EntryStatusText(EntryStatus status) {
  switch (status) {
    case EntryStatus::kOk: return reader::VerdictText(reader::EntryVerdict::kOk);
    case EntryStatus::kDataBeyondEnd: return reader::VerdictText(reader::EntryVerdict::kDataBeyondEnd);
    case EntryStatus::kTruncated: return reader::VerdictText(reader::EntryVerdict::kTruncated);
    case EntryStatus::kTooLarge: return reader::VerdictText(reader::EntryVerdict::kTooLarge);
    case EntryStatus::kReadFailed: return reader::VerdictText(reader::EntryVerdict::kReadFailed);
    case EntryStatus::kNotInstalled: return "not written by the installer";
    case EntryStatus::kSinkStopped: return "stopped by the receiver";
  }
  return "?";
}

struct EntryReader::Impl {
  explicit Impl(const Image::Impl& image) : image(image), budget(0) {}

  const Image::Impl& image;
  reader::ImageFile file;
  bool opened = false;
  std::unique_ptr<codec::DecoderState> decoder;
  reader::WorkBudget budget;
  // Entries before this one have passed through the decoder as the
  // installer passes them; the ring is the one it leaves.
  std::uint32_t next = 0;

  void Restart() {
    decoder = std::make_unique<codec::DecoderState>();  // the ring starts at zero, as in the installer
    next = 0;
  }

  // One entry the installer writes, into `sink`; the ring moves on.
  reader::EntryReport Pass(std::uint32_t position, const reader::ChunkSink& sink, bool* sinkStopped) {
    reader::EntryReport report;
    *sinkStopped = !reader::ReadImageEntry(file, image.payload.entries[position], *decoder, budget, sink, &report);
    return report;
  }
};

EntryReader::EntryReader(const Image& image) : impl_(std::make_unique<Impl>(*image.impl_)) {}
EntryReader::EntryReader(EntryReader&&) noexcept = default;
EntryReader::~EntryReader() = default;

EntryResult EntryReader::Decode(std::uint32_t position, const ByteSink& sink, const DecodeOptions& options) {
  Impl& impl = *impl_;
  const std::vector<Entry>& entries = impl.image.entries;
  if (position >= entries.size())
    throw Error(ErrorKind::kBadArgument, impl.image.name,
                "no entry " + std::to_string(position) + " (the image has " + std::to_string(entries.size()) + ")");
  return Translated(impl.image.name, [&] {
    if (!impl.opened) {
      impl.image.OpenSource(&impl.file);
      impl.budget = reader::WorkBudget(impl.file.Size());
      impl.opened = true;
      impl.Restart();
    }
    EntryResult result;
    if (!entries[position].installed()) {
      result.status = EntryStatus::kNotInstalled;
      return result;
    }
    if (position < impl.next) impl.Restart();
    bool stopped = false;
    // Only what the installer writes passes through the decoder; a stored
    // entry leaves the ring alone, so only compressed ones need a pass.
    for (; impl.next < position; ++impl.next) {
      const Entry& earlier = entries[impl.next];
      if (earlier.installed() && earlier.compressed) impl.Pass(impl.next, Discard, &stopped);
    }
    reader::PeEntryCollector collector;
    const reader::ChunkSink collectorSink = collector.Sink();
    const reader::ChunkSink both = [&](const std::uint8_t* data, std::size_t size) {
      collectorSink(data, size);
      return sink(data, size);
    };
    const reader::EntryReport report = impl.Pass(position, options.checkSignature ? both : sink, &stopped);
    impl.next = position + 1;
    result.status = stopped ? EntryStatus::kSinkStopped : StatusOf(report.verdict);
    result.written = report.written;
    result.unreadBytes = report.unreadBytes;
    // The decoder stopped halfway: the ring is not the installer's.
    if (stopped) impl.Restart();
    if (options.checkSignature && result.status == EntryStatus::kOk) {
      const reader::EntrySignature signature = collector.Result();
      result.signature = ProgramSignatureOf(signature.state);
      result.signatureDamage = signature.damage;
    }
    return result;
  });
}

std::vector<std::uint8_t> EntryReader::Read(std::uint32_t position, std::size_t limit, EntryResult* result) {
  std::vector<std::uint8_t> bytes;
  const EntryResult outcome = Decode(position, [&](const std::uint8_t* data, std::size_t size) {
    const std::size_t room = limit - bytes.size();
    bytes.insert(bytes.end(), data, data + (size < room ? size : room));
    return true;
  });
  if (result) *result = outcome;
  return bytes;
}

}  // namespace saverkit
