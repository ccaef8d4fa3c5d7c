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
    report = {};
    return ReadImageEntry(file, entry, *decoder, [&](const std::uint8_t*, std::size_t) { return !sinkFails; },
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

}  // namespace
