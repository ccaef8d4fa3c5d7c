// The installer's byte streams: the read requests and write blocks that the
// image and the destination see, and the surplus of a final match kept out
// of the file for every size.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "core/codec/stream_writer.h"
#include "installer/byte_streams.h"
#include "installer/compressed_entry.h"
#include "sample_data.h"

using namespace codec;
using namespace installer;
using namespace samples;

// Every fread on the watched stream, by requested size: the streams' reads
// are seen here exactly as they are made, whatever the C library buffers.
namespace {
std::FILE* watchedStream = nullptr;
std::vector<std::size_t>* watchedReads = nullptr;
}  // namespace

extern "C" size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
  if (stream == watchedStream && watchedReads != nullptr) watchedReads->push_back(size * count);
  return fread_unlocked(buffer, size, count, stream);
}

namespace {

using Bytes = std::vector<std::uint8_t>;

// A C stream over memory that records every fread and fwrite request made
// on it. Unbuffered, so each fwrite reaches it as one request.
struct RecordingFile {
  Bytes data;
  std::size_t position = 0;
  std::vector<std::size_t> reads;
  std::vector<std::size_t> writes;
  std::FILE* file = nullptr;

  static ssize_t Read(void* cookie, char* buffer, size_t size) {
    auto* self = static_cast<RecordingFile*>(cookie);
    const std::size_t n = std::min(size, self->data.size() - self->position);
    std::memcpy(buffer, self->data.data() + self->position, n);
    self->position += n;
    return static_cast<ssize_t>(n);
  }
  static ssize_t Write(void* cookie, const char* buffer, size_t size) {
    auto* self = static_cast<RecordingFile*>(cookie);
    self->writes.push_back(size);
    self->data.insert(self->data.end(), buffer, buffer + size);
    return static_cast<ssize_t>(size);
  }

  explicit RecordingFile(const char* mode, Bytes contents = {}) : data(std::move(contents)) {
    cookie_io_functions_t io{};
    io.read = &RecordingFile::Read;
    io.write = &RecordingFile::Write;
    file = fopencookie(this, mode, io);
    std::setvbuf(file, nullptr, _IONBF, 0);
    if (mode[0] == 'r') {
      watchedStream = file;
      watchedReads = &reads;
    }
  }
  ~RecordingFile() {
    if (watchedStream == file) watchedStream = nullptr;
    std::fclose(file);
  }
  RecordingFile(const RecordingFile&) = delete;
  RecordingFile& operator=(const RecordingFile&) = delete;
};

void ResetStreams() {
  ReadPtr(nullptr, 0);
  WritePtr(nullptr, 0, 0);
}

// DecodeEntry from an image of `imageBytes` (the stream first) into a
// recording destination.
struct DecodeRun {
  RecordingFile image;
  RecordingFile output{"wb"};
  std::int64_t produced;
  DecodeRun(const Bytes& imageBytes, std::uint32_t expanded, std::size_t storedSize)
      : image("rb", imageBytes) {
    ResetStreams();
    produced = DecodeEntry(image.file, output.file, expanded, static_cast<std::uint32_t>(storedSize));
  }
};

TEST(ByteStreams, ReadRequestsAreBlocksOf16384ThenTheRest) {
  struct Case {
    std::uint32_t storedSize;
    std::vector<std::size_t> requests;
  };
  const Case cases[] = {
      {126490, {16384, 16384, 16384, 16384, 16384, 16384, 16384, 11802}},
      {5000, {5000}},
      {16384, {16384}},
      {1, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.storedSize);
    // Random stream bytes and a large expanded size, so the decoder uses up
    // every stored byte; the image holds more bytes behind the entry.
    const DecodeRun run(MakeNoise(c.storedSize + 5000, c.storedSize), 2000000, c.storedSize);
    EXPECT_EQ(run.image.reads, c.requests);
    EXPECT_EQ(run.output.data.size(), 2000000u);
  }
}

TEST(ByteStreams, WriteBlocksAre16384ThenTheRestEachAtItsLastByte) {
  struct Case {
    std::uint32_t expanded;
    std::size_t fullBlocks;
    std::size_t rest;  // 0: none
  };
  const Case cases[] = {{1, 0, 1}, {16384, 1, 0}, {16385, 1, 1}, {773702, 47, 3654}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expanded);
    const Bytes data = MakeMixedSample(c.expanded, c.expanded);
    const Bytes stream = CompressEntry(data.data(), data.size(), CompressionLevel::kGreedy);
    const DecodeRun run(stream, c.expanded, stream.size());
    std::vector<std::size_t> expected(c.fullBlocks, 16384);
    if (c.rest) expected.push_back(c.rest);
    // Written by DecodeEntry itself, before any flush or close.
    EXPECT_EQ(run.output.writes, expected);
    EXPECT_EQ(run.output.data, data);
  }
}

TEST(ByteStreams, TheSurplusOfAFinalMatchNeverReachesTheFile) {
  // A last match of 30 that runs past sizes below and above 30.
  for (std::uint32_t expanded : {1u, 2u, 5u, 29u, 30u, 31u, 45u, 16384u}) {
    SCOPED_TRACE(expanded);
    Bytes stream;
    EntryStreamWriter writer(stream);
    // Below 30 the match alone (of preset spaces) runs past the end.
    const std::uint32_t literals = expanded > 30 ? expanded - 20 : expanded == 30 ? 1 : 0;
    for (std::uint32_t i = 0; i < literals; ++i) writer.Literal(static_cast<std::uint8_t>('a' + i % 26));
    writer.Match(30, 0);  // runs past the end by 10 or more
    writer.Finish();
    const DecodeRun run(stream, expanded, stream.size());
    EXPECT_EQ(run.output.data.size(), expanded);
    EXPECT_GT(run.produced, static_cast<std::int32_t>(expanded));
    // Further bytes after the entry is complete stay out as well.
    for (int i = 0; i < 40000; ++i) WritePtr(run.output.file, 'x', expanded);
    EXPECT_EQ(run.output.data.size(), expanded);
  }
}

TEST(ByteStreams, AReadThatDeliversNothingRepeatsTheFirstByteOfTheLastBlock) {
  RecordingFile image("rb", Bytes{0x41, 0x42});
  ResetStreams();
  EXPECT_EQ(ReadPtr(image.file, 10), 0x41);
  EXPECT_EQ(ReadPtr(image.file, 9), 0x42);
  EXPECT_EQ(ReadPtr(image.file, 8), 0x41);  // nothing delivered
  EXPECT_EQ(ReadPtr(image.file, 7), 0x41);  // and asked again
  EXPECT_EQ(image.reads, (std::vector<std::size_t>{10, 8, 7}));
}

TEST(CompressedEntry, WithoutTheModuleFileNameNothingIsCreated) {
  // Outside a simulated run the stand-in has no module file name to give.
  const std::string destination = ::testing::TempDir() + "never_created.bin";
  std::remove(destination.c_str());
  EXPECT_EQ(ExtractCompressedEntry(nullptr, 0, 10, 10, destination.c_str()), 0);
  std::FILE* f = fopen(destination.c_str(), "rb");
  EXPECT_EQ(f, nullptr);
  if (f) std::fclose(f);
}

}  // namespace
