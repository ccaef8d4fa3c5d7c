// The tool's entry reader over an image file: it decodes no further than the
// stored bytes hold, and stops once its sink fails.
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

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageEntryReader, StopsWhereTheStoredBytesEndOrTheSinkFails) {
  const Bytes data = MakeMixedSample(1000000, 9);
  const Bytes stream = CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy);
  constexpr std::uint32_t kOffset = 100;
  Bytes image(kOffset + stream.size(), 0);
  std::copy(stream.begin(), stream.end(), image.begin() + kOffset);
  testsupport::TempFolder folder;
  const std::string path = folder.Write("setup.exe", image);

  struct Case {
    const char* name;
    std::uint32_t storedSize, expandedSize;
    bool sinkFails;
    bool returns;
    EntryVerdict verdict;
    std::uint64_t maxWritten;
  };
  const std::uint32_t whole = static_cast<std::uint32_t>(stream.size());
  const std::uint64_t block = 1 << 16;
  const Case cases[] = {
      {"six stored bytes that declare nearly 2 GiB", 6, 0x7FFFFF00u, false, true,
       EntryVerdict::kTruncated, 6 * 8 * 30},
      {"a sink that fails at its first block", whole, 1000000, true, false, EntryVerdict::kOk,
       block},
  };
  ASSERT_GT(stream.size(), 4u * block);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageFile file;
    ASSERT_NO_THROW(file.Open(path));
    PayloadEntry entry{};
    entry.DataOffset = kOffset;
    entry.StoredSize = c.storedSize;
    entry.ExpandedSize = c.expandedSize;
    auto decoder = std::make_unique<DecoderState>();
    const ChunkSink sink = [&](const std::uint8_t*, std::size_t) { return !c.sinkFails; };
    EntryReport report;
    EXPECT_EQ(ReadImageEntry(file, entry, *decoder, sink, &report), c.returns);
    EXPECT_EQ(report.verdict, c.verdict);
    EXPECT_LE(report.written, c.maxWritten);
  }
}

}  // namespace
