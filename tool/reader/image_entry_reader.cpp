// Reading and decoding payload entries for the tool (see image_entry_reader.h).
#include "tool/reader/image_entry_reader.h"

#include <vector>

using codec::DecodeEnd;
using codec::DecodeEntryWith;
using codec::DecodeMode;
using codec::DecodeOutcome;
using codec::DecoderState;
using format::DataInsideImage;
using format::ExpandsPastSignedRange;
using format::IsCompressed;
using format::PayloadEntry;

namespace reader {

namespace {

constexpr std::uint32_t kBlock = 1 << 16;

// A buffer for `size` bytes in blocks: no bigger than the entry needs, so
// that a table of a million small entries does not clear 64 KB for each.
std::size_t BlockFor(std::uint32_t size) { return size < kBlock ? size : kBlock; }

// Charges one entry's work to the run's budget as it grows: the larger of
// the bytes produced and the stored bytes read, since neither can pass
// kLargestExpansion times the entry's stored size in an honest image.
class EntryMeter {
 public:
  explicit EntryMeter(WorkBudget& budget) : budget_(budget) {}
  // Each returns false once the budget is spent.
  bool Read(std::uint64_t bytes) {
    read_ += bytes;
    return Settle();
  }
  bool Produced(std::uint64_t bytes) {
    produced_ += bytes;
    return Settle();
  }
  bool Exhausted() const { return budget_.Exhausted(); }

 private:
  bool Settle() {
    const std::uint64_t work = read_ > produced_ ? read_ : produced_;
    const bool left = budget_.Charge(work - charged_);
    charged_ = work;
    return left;
  }

  WorkBudget& budget_;
  std::uint64_t read_ = 0;
  std::uint64_t produced_ = 0;
  std::uint64_t charged_ = 0;
};

// Stored bytes from the image in blocks; a failed or short read gives zeros.
class FileSource {
 public:
  FileSource(ImageFile& file, const PayloadEntry& entry, EntryMeter& meter)
      : file_(file), offset_(entry.DataOffset), meter_(meter), buffer_(BlockFor(entry.StoredSize)) {}
  // The rest of the block, read first when it is spent; a failed read gives
  // one zero byte and is tried again at the next call.
  std::size_t FetchRun(const std::uint8_t*& bytes, std::uint32_t remaining) {
    if (position_ == filled_) {
      const std::uint32_t want = static_cast<std::uint32_t>(BlockFor(remaining));
      position_ = 0;
      filled_ = 0;
      if (!file_.ReadAt(offset_, buffer_.data(), want)) {
        failed_ = true;
        static const std::uint8_t kZero = 0;
        bytes = &kZero;
        return 1;
      }
      filled_ = want;
      offset_ += want;
      // A spent budget stops the decoder through the sink, after this item.
      meter_.Read(want);
    }
    bytes = buffer_.data() + position_;
    const std::size_t n = filled_ - position_;
    position_ = filled_;
    return n;
  }
  bool failed() const { return failed_; }

 private:
  ImageFile& file_;
  std::uint64_t offset_;
  EntryMeter& meter_;
  std::vector<std::uint8_t> buffer_;
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  bool failed_ = false;
};

// The decoder's blocks (a window of 64 KiB at most) passed on to the chunk
// sink; a block that the budget cannot pay for is not passed on.
class BlockSink {
 public:
  explicit BlockSink(const ChunkSink& sink, EntryMeter& meter) : sink_(sink), meter_(meter) {}
  void Write(const std::uint8_t* bytes, std::size_t count) {
    if (!ok_ || !meter_.Produced(count)) return;
    ok_ = sink_(bytes, count);
    written_ += count;
  }
  bool ok() const { return ok_; }
  bool Failed() const { return !ok_ || meter_.Exhausted(); }
  std::uint64_t written() const { return written_; }

 private:
  const ChunkSink& sink_;
  EntryMeter& meter_;
  std::uint64_t written_ = 0;
  bool ok_ = true;
};

}  // namespace

const char* VerdictText(EntryVerdict verdict) {
  switch (verdict) {
    case EntryVerdict::kOk: return "ok";
    case EntryVerdict::kDataBeyondEnd: return "data lies beyond the end of the file";
    case EntryVerdict::kTruncated: return "truncated: the stream ran out before the expanded size";
    case EntryVerdict::kTooLarge: return "expanded size of 2 GiB or more: the installer writes nothing";
    case EntryVerdict::kReadFailed: return "the image could not be read";
  }
  return "?";
}

bool ReadImageEntry(ImageFile& image, const PayloadEntry& entry, DecoderState& decoder,
                    WorkBudget& budget, const ChunkSink& sink, EntryReport* report) {
  *report = EntryReport{};
  EntryMeter meter(budget);
  if (!DataInsideImage(entry, image.Size())) {
    report->verdict = EntryVerdict::kDataBeyondEnd;
    return true;
  }
  if (!IsCompressed(entry)) {
    std::vector<std::uint8_t> buffer(BlockFor(entry.StoredSize));
    std::uint64_t offset = entry.DataOffset;
    std::uint32_t left = entry.StoredSize;
    while (left > 0) {
      const std::uint32_t want = left < kBlock ? left : kBlock;
      if (!image.ReadAt(offset, buffer.data(), want)) {
        report->verdict = EntryVerdict::kReadFailed;
        return true;
      }
      // Each entry's copy counts, even of bytes another entry copied before.
      if (!meter.Read(want)) throw budget.Failure();
      if (!sink(buffer.data(), want)) return false;
      report->written += want;
      offset += want;
      left -= want;
    }
    return true;
  }
  if (ExpandsPastSignedRange(entry)) {
    report->verdict = EntryVerdict::kTooLarge;
    return true;
  }
  FileSource source(image, entry, meter);
  BlockSink blocks(sink, meter);
  // Unlike the installer, the tool stops where the stored bytes run out (the
  // installer would make up the rest, up to 2 GiB, from zero bits) and where
  // its sink fails.
  const DecodeOutcome outcome = DecodeEntryWith<DecodeMode::kStopAtStreamEnd>(
      decoder, source, blocks, entry.ExpandedSize, entry.StoredSize);
  report->written = blocks.written();
  // The command ends here, so no later entry needs the ring this one leaves.
  if (meter.Exhausted()) throw budget.Failure();
  if (!blocks.ok()) return false;
  const std::uint64_t storedBits = std::uint64_t{entry.StoredSize} * 8u;
  if (source.failed()) {
    report->verdict = EntryVerdict::kReadFailed;
  } else if (outcome.end == DecodeEnd::kStreamExhausted) {
    report->verdict = EntryVerdict::kTruncated;
  } else {
    report->unreadBytes = static_cast<std::uint32_t>((storedBits - outcome.bitsConsumed) / 8u);
  }
  return true;
}

}  // namespace reader
