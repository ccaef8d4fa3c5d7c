// libsaverkit through its public headers only: entries decoded as the
// installer decodes them in any order asked, the error kinds, and pack read
// back. What Open describes, identify and the work budget are covered through
// the Python module and the tool's identify and hostile-image tests.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "installer_fixture.h"
#include "saverkit/saverkit.h"
#include "stub_fixture.h"
#include "temp_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using installertest::Compressed;
using installertest::RingTailEntry;
using installertest::Stored;

// Entry 1 leaves its first 30 bytes in the ring's tail; entry 3 is refused
// (its name leads out of the folder); entry 4 is one 30-byte match at the
// farthest offset, so it decodes to that tail only when entry 1 was
// decoded before it and entry 3 was not.
constexpr char kData[] = "0123456789abcdefghijklmnopqrst and the rest of the data file";
const std::string kTail = std::string(kData).substr(0, 30);

imagewriter::ManifestContents RingImage() {
  imagewriter::ManifestContents manifest;
  manifest.title = "Ring";
  imagewriter::EntryContents refused = Compressed("ZYXWVUTSRQPONMLKJIHGFEDCBA9876 refused");
  refused.name = "\\..\\EVIL.MID";
  manifest.entries = {Stored("saver"), Compressed(kData), Stored("uninstaller"), refused, RingTailEntry()};
  return manifest;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool Discard(const std::uint8_t*, std::size_t) { return true; }

// The ring is the installer's whatever order entries are asked in: a
// fresh reader decodes entry 1 first, going back restarts, a buffer limit
// still decodes the rest of the entry, and a stopped sink forces a restart.
TEST(LibDecode, EveryOrderGivesTheInstallersBytes) {
  const saverkit::Image image = saverkit::Image::OpenMemory(imagewriter::BuildInstallerImage(RingImage()));
  EXPECT_EQ(Text(image.Read(4, 1000)), kTail) << "a fresh reader decodes entry 1 first";

  saverkit::EntryReader reader(image);
  saverkit::EntryResult result;
  EXPECT_EQ(Text(reader.Read(1, 10, &result)), std::string(kData).substr(0, 10));
  EXPECT_EQ(result.status, saverkit::EntryStatus::kOk);
  EXPECT_EQ(Text(reader.Read(4, 1000)), kTail) << "entry 1 was decoded whole despite the limit";
  EXPECT_EQ(Text(reader.Read(1, 1000)), kData) << "going back restarts from the first entry";
  EXPECT_EQ(reader.Read(3, 1000, &result).size(), 0u);
  EXPECT_EQ(result.status, saverkit::EntryStatus::kNotInstalled);
  EXPECT_EQ(Text(reader.Read(4, 1000)), kTail) << "the refused entry left the ring alone";

  saverkit::EntryReader stopped(image);
  result = stopped.Decode(1, [](const std::uint8_t*, std::size_t) { return false; });
  EXPECT_EQ(result.status, saverkit::EntryStatus::kSinkStopped);
  EXPECT_EQ(Text(stopped.Read(4, 1000)), kTail) << "after a stopped sink the ring is rebuilt";
}

TEST(LibErrors, EachFailureHasItsKind) {
  testsupport::TempFolder folder;
  const Bytes sound = imagewriter::BuildInstallerImage(RingImage());
  struct Row {
    const char* what;
    std::string path;
    saverkit::ErrorKind kind;
    int systemError;
    std::string problem;
  };
  const Row rows[] = {
      {"missing", folder.path() + "/missing.exe", saverkit::ErrorKind::kIo, ENOENT, "cannot open the file"},
      {"folder", folder.path(), saverkit::ErrorKind::kIo, EISDIR, "it is a folder"},
      {"text", folder.Write("a.txt", std::string("hello")), saverkit::ErrorKind::kDamaged, 0, "not a PE image"},
      {"cut", folder.Write("cut.exe", Bytes(sound.begin(), sound.begin() + 300)), saverkit::ErrorKind::kDamaged, 0,
       ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    try {
      saverkit::Image::Open(row.path);
      ADD_FAILURE() << "opened";
    } catch (const saverkit::Error& error) {
      EXPECT_EQ(error.kind(), row.kind);
      EXPECT_EQ(error.systemError(), row.systemError);
      EXPECT_EQ(error.file(), row.path);
      EXPECT_NE(std::string(error.what()).find(row.problem), std::string::npos) << error.what();
    }
  }
  const saverkit::Image image = saverkit::Image::OpenMemory(sound);
  try {
    image.Decode(5, Discard);
    ADD_FAILURE() << "decoded an entry past the table";
  } catch (const saverkit::Error& error) {
    EXPECT_EQ(error.kind(), saverkit::ErrorKind::kBadArgument);
  }
}

TEST(LibPack, WhatIsPackedReadsBackAsGiven) {
  testsupport::TempFolder folder;
  const std::string stub = folder.Write("installer.exe", packtest::MakeStub());
  saverkit::PackRequest request;
  request.title = "Night Sky";
  request.publisher = "Example Pictures";
  request.version = "1.2.3";
  request.saver = {"night.scr", packtest::MakeProgram(1)};
  request.data = {"night.dat", packtest::TextLikeBytes(5000, 2)};
  request.uninstaller = {"UNINSTAL.EXE", packtest::MakeProgram(3)};
  request.media = {{"melody.mid", packtest::NoiseBytes(700, 4)}};
  const saverkit::PackedImage packed = saverkit::Pack(request, stub);
  const saverkit::Image image = saverkit::Image::OpenMemory(packed.bytes);
  EXPECT_EQ(image.title(), "Night Sky");
  EXPECT_EQ(image.publisher().value_or(""), "Example Pictures");
  EXPECT_EQ(image.version().value_or(""), "1.2.3");
  const std::vector<Bytes> inputs = {request.saver.bytes, request.data.bytes, request.uninstaller.bytes,
                                     request.media[0].bytes};
  ASSERT_EQ(image.entries().size(), inputs.size());
  saverkit::EntryReader reader(image);
  for (std::uint32_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(reader.Read(i, inputs[i].size()), inputs[i]) << i;
    EXPECT_EQ(image.entries()[i].path, packed.entries[i].installedPath);
  }

  request.title = "a\\b";
  try {
    saverkit::Pack(request, stub);
    ADD_FAILURE() << "packed a title with a backslash";
  } catch (const saverkit::Error& error) {
    EXPECT_EQ(error.kind(), saverkit::ErrorKind::kBadArgument) << error.what();
  }
}

}  // namespace
