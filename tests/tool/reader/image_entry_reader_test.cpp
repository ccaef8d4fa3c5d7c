// The tool's entry reader over an image file: it decodes no further than the
// stored bytes hold, stops once its sink fails, and charges every byte to
// the run's work budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "tool/reader/image_entry_reader.h"
#include "sample_data.h"
#include "temp_files.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using codec::DecoderState;
using format::PayloadEntry;
using samples::MakeMixedSample;

using reader::ChunkSink;
using reader::EntryReport;
using reader::EntryVerdict;
using reader::ImageFile;
using reader::ReadImageEntry;
using reader::WorkBudget;

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageEntryReader, StopsWhereTheStoredBytesEndOrTheSinkFails) {
  const Bytes data = MakeMixedSample(1000000, 9);
  const Bytes stream = CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy);
  constexpr std::uint32_t kOffset = 100;
  const std::uint64_t block = 1 << 16;
  ASSERT_GT(stream.size(), 4u * block);
  Bytes image(kOffset + stream.size(), 0);
  std::copy(stream.begin(), stream.end(), image.begin() + kOffset);
  testsupport::TempFolder folder;
  ImageFile file;
  ASSERT_NO_THROW(file.Open(folder.Write("setup.exe", image)));
  // Reads the entry at kOffset into a sink that takes everything or fails.
  EntryReport report;
  const auto read = [&](std::uint32_t storedSize, std::uint32_t expandedSize, bool sinkFails) {
    PayloadEntry entry{};
    entry.DataOffset = kOffset;
    entry.StoredSize = storedSize;
    entry.ExpandedSize = expandedSize;
    auto decoder = std::make_unique<DecoderState>();
    reader::WorkBudget budget(image.size());
    report = {};
    return ReadImageEntry(file, entry, *decoder, budget, [&](const std::uint8_t*, std::size_t) { return !sinkFails; },
                          &report);
  };
  // Six stored bytes that declare nearly 2 GiB: nothing made up from zero bits.
  EXPECT_TRUE(read(6, 0x7FFFFF00u, false));
  EXPECT_EQ(report.verdict, EntryVerdict::kTruncated);
  EXPECT_LE(report.written, 6u * 8 * 30);
  // A sink that fails at its first block: no further block is decoded.
  EXPECT_FALSE(read(static_cast<std::uint32_t>(stream.size()), 1000000, true));
  EXPECT_EQ(report.verdict, EntryVerdict::kOk);
  EXPECT_LE(report.written, block);
}

// One stream of zeros packed close to the largest expansion fits a budget of
// that expansion once; read again, as entries sharing it are, each read is
// charged (stored: 1:1; one byte needed: the block read) until the read
// throws, and nothing past the budget reaches the sink.
TEST(ImageEntryReader, ChargesEveryReadOfSharedDataToOneBudget) {
  const Bytes zeros(1 << 20, 0);
  const Bytes stream = CompressEntry(zeros.data(), zeros.size());
  ASSERT_GT(zeros.size(), 23 * stream.size());
  testsupport::TempFolder folder;
  ImageFile file;
  ASSERT_NO_THROW(file.Open(folder.Write("shared.exe", stream)));
  const auto size = static_cast<std::uint32_t>(stream.size());
  struct Row {
    std::uint32_t expandedSize;  // 0: stored
    int wholeReads;              // before the budget runs out
  };
  for (const Row row : {Row{1 << 20, 1}, Row{0, 24}, Row{1, 24}}) {
    SCOPED_TRACE(row.expandedSize);
    WorkBudget budget(stream.size(), 0);
    ASSERT_EQ(budget.limit(), 24 * stream.size());
    PayloadEntry entry{};
    entry.StoredSize = size;
    entry.ExpandedSize = row.expandedSize;
    auto decoder = std::make_unique<DecoderState>();
    std::uint64_t received = 0;
    const ChunkSink sink = [&](const std::uint8_t*, std::size_t bytes) { return (received += bytes) > 0; };
    int reads = 0;
    try {
      for (EntryReport report; reads < 1000; ++reads) {
        ReadImageEntry(file, entry, *decoder, budget, sink, &report);
        ASSERT_EQ(report.verdict, EntryVerdict::kOk);
      }
    } catch (const errors::Failure& e) {
      EXPECT_EQ(e.status(), errors::kExitDataError);
      EXPECT_NE(std::string(e.what()).find("its entries reuse the same stored data"), std::string::npos);
    }
    EXPECT_EQ(reads, row.wholeReads);
    EXPECT_LE(received, budget.limit());
  }
}

}  // namespace
