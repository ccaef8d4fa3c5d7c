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

// Stored bytes from the image in blocks; a failed or short read gives zeros.
class FileSource {
 public:
  FileSource(ImageFile& file, std::uint64_t offset) : file_(file), offset_(offset), buffer_(kBlock) {}
  std::uint8_t Fetch(std::uint32_t remaining) {
    if (position_ == filled_) {
      const std::uint32_t want = remaining < kBlock ? remaining : kBlock;
      position_ = 0;
      filled_ = 0;
      if (!file_.ReadAt(offset_, buffer_.data(), want)) {
        failed_ = true;
        return 0;
      }
      filled_ = want;
      offset_ += want;
    }
    return buffer_[position_++];
  }
  bool failed() const { return failed_; }

 private:
  ImageFile& file_;
  std::uint64_t offset_;
  std::vector<std::uint8_t> buffer_;
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  bool failed_ = false;
};

// Decoded bytes gathered into blocks for the chunk sink.
class BlockSink {
 public:
  explicit BlockSink(const ChunkSink& sink) : sink_(sink), buffer_(kBlock) {}
  void Put(std::uint8_t byte) {
    buffer_[count_++] = byte;
    if (count_ == kBlock) Flush();
  }
  void Flush() {
    if (count_ > 0 && ok_) ok_ = sink_(buffer_.data(), count_);
    written_ += count_;
    count_ = 0;
  }
  bool ok() const { return ok_; }
  bool Failed() const { return !ok_; }
  std::uint64_t written() const { return written_; }

 private:
  const ChunkSink& sink_;
  std::vector<std::uint8_t> buffer_;
  std::size_t count_ = 0;
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
                    const ChunkSink& sink, EntryReport* report) {
  *report = EntryReport{};
  if (!DataInsideImage(entry, image.Size())) {
    report->verdict = EntryVerdict::kDataBeyondEnd;
    return true;
  }
  if (!IsCompressed(entry)) {
    std::vector<std::uint8_t> buffer(kBlock);
    std::uint64_t offset = entry.DataOffset;
    std::uint32_t left = entry.StoredSize;
    while (left > 0) {
      const std::uint32_t want = left < kBlock ? left : kBlock;
      if (!image.ReadAt(offset, buffer.data(), want)) {
        report->verdict = EntryVerdict::kReadFailed;
        return true;
      }
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
  FileSource source(image, entry.DataOffset);
  BlockSink blocks(sink);
  // Unlike the installer, the tool stops where the stored bytes run out (the
  // installer would make up the rest, up to 2 GiB, from zero bits) and where
  // its sink fails.
  const DecodeOutcome outcome = DecodeEntryWith<DecodeMode::kStopAtStreamEnd>(
      decoder, source, blocks, entry.ExpandedSize, entry.StoredSize);
  blocks.Flush();
  report->written = blocks.written();
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
