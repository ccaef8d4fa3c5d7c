// libsaverkit through its public headers only: what Open describes, entries
// decoded as the installer decodes them in any order asked, the error
// kinds, identify's three answers, and pack read back.
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
using installertest::Media;
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
  manifest.title = "Caf\xE9 Ring";
  manifest.license = "Free \x93to share\x94.";
  manifest.numberBase = 23;
  imagewriter::EntryContents refused = Compressed("ZYXWVUTSRQPONMLKJIHGFEDCBA9876 refused");
  refused.name = "\\..\\EVIL.MID";
  imagewriter::EntryContents fromTail = RingTailEntry();
  manifest.entries = {Stored("saver"), Compressed(kData), Stored("uninstaller"), refused, fromTail};
  return manifest;
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

bool Discard(const std::uint8_t*, std::size_t) { return true; }

TEST(LibImage, OpenDescribesTheManifestFromAFileAndFromMemoryAlike) {
  testsupport::TempFolder folder;
  const Bytes bytes = imagewriter::BuildInstallerImage(RingImage());
  const std::string path = folder.Write("ring.exe", bytes);
  for (const saverkit::Image& image : {saverkit::Image::Open(path), saverkit::Image::OpenMemory(bytes, "mem")}) {
    SCOPED_TRACE(image.name());
    EXPECT_EQ(image.title(), "Caf\xE9 Ring");
    EXPECT_EQ(saverkit::Windows1252ToUtf8(image.licence()), "Free \u201Cto share\u201D.");
    EXPECT_FALSE(image.publisher().has_value()) << "no VERSIONINFO";
    EXPECT_EQ(image.installerProgram(), saverkit::InstallerProgram::kOther) << "no SAVERKIT identity";
    ASSERT_EQ(image.entries().size(), 5u);
    struct Row {
      saverkit::Role role;
      std::string path;
      std::uint32_t size;
      bool compressed;
      saverkit::Refusal refusal;
    };
    const Row rows[] = {
        {saverkit::Role::kSaver, "Caf\xE9 Ring.scr", 5, false, saverkit::Refusal::kNone},
        {saverkit::Role::kData, "MARLOWEN\\VELDRAKE\\Caf\xE9 Ring\\Caf\xE9 Ring.DAT", sizeof kData - 1, true,
         saverkit::Refusal::kNone},
        {saverkit::Role::kUninstaller, "MARLOWEN\\VELDRAKE\\Caf\xE9 Ring\\UNINSTAL.EXE", 11, false,
         saverkit::Refusal::kNone},
        {saverkit::Role::kMedia, "", 38, true, saverkit::Refusal::kUnsafeName},
        {saverkit::Role::kMedia, "MARLOWEN\\VELDRAKE\\Caf\xE9 Ring\\JUKE0024.MID", 30, true, saverkit::Refusal::kNone},
    };
    for (std::uint32_t i = 0; i < 5; ++i) {
      const saverkit::Entry& entry = image.entries()[i];
      SCOPED_TRACE(i);
      EXPECT_EQ(entry.role, rows[i].role);
      if (rows[i].refusal == saverkit::Refusal::kNone) {
        EXPECT_EQ(entry.path, rows[i].path);
      }
      EXPECT_EQ(entry.size, rows[i].size);
      EXPECT_EQ(entry.compressed, rows[i].compressed);
      EXPECT_EQ(entry.refusal, rows[i].refusal);
    }
    EXPECT_EQ(image.installTotal(), 5u + (sizeof kData - 1) + 11 + 38 + 30);
    EXPECT_EQ(image.damage(), "");
  }
}

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

// A small entry declaring nearly 2 GiB costs its stored bytes: the bytes
// before the stream ran out are handed over, and the status says so.
TEST(LibDecode, ABombStopsWhereItsStoredBytesEnd) {
  imagewriter::ManifestContents manifest = RingImage();
  manifest.entries[1].expandedSize = 0x7FFFFF00;
  const saverkit::Image image = saverkit::Image::OpenMemory(imagewriter::BuildInstallerImage(manifest));
  saverkit::EntryResult result;
  const Bytes bytes = image.Read(1, 0x7FFFFF00, &result);
  EXPECT_EQ(result.status, saverkit::EntryStatus::kTruncated);
  EXPECT_EQ(Text(bytes).substr(0, sizeof kData - 1), kData) << "the bytes before the damage are the installer's";
  EXPECT_LT(bytes.size(), 24u * manifest.entries[1].stored.size());
}

// The stored data of every entry is one block: entries that each decode it
// again spend the reader's one budget and stop with damage.
TEST(LibDecode, EntriesReusingOneStoredBlockSpendTheBudget) {
  imagewriter::ManifestContents manifest = RingImage();
  const std::string big = installertest::SampleBytes(1 << 20);
  manifest.entries = {Compressed(big), Stored("d"), Stored("u")};
  manifest.entries.resize(40, manifest.entries[0]);
  // Every media entry points at the first entry's stored bytes.
  const std::uint32_t first =
      saverkit::Image::OpenMemory(imagewriter::BuildInstallerImage(manifest)).entries()[0].dataOffset;
  for (std::size_t i = 3; i < manifest.entries.size(); ++i) {
    manifest.entries[i].name = ".MID";
    manifest.entries[i].dataOffset = first;
    manifest.entries[i].stored.clear();
    manifest.entries[i].storedSize = static_cast<std::uint32_t>(manifest.entries[0].stored.size());
  }
  const saverkit::Image opened = saverkit::Image::OpenMemory(imagewriter::BuildInstallerImage(manifest));
  ASSERT_EQ(opened.entries()[39].dataOffset, first);
  saverkit::EntryReader reader(opened);
  try {
    for (std::uint32_t i = 0; i < 40; ++i) reader.Decode(i, Discard);
    FAIL() << "40 MiB from one stored block passed the budget";
  } catch (const saverkit::Error& error) {
    EXPECT_EQ(error.kind(), saverkit::ErrorKind::kDamaged);
    EXPECT_NE(std::string(error.what()).find("reuse the same stored data"), std::string::npos) << error.what();
  }
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

TEST(LibIdentify, InstallerNotAnInstallerOrDamaged) {
  const Bytes sound = imagewriter::BuildInstallerImage(RingImage());
  imagewriter::ManifestContents beyond = RingImage();
  beyond.entries[2].storedSize = 1u << 30;
  struct Row {
    const char* what;
    Bytes bytes;
    saverkit::FileKind kind;
    std::string damage;
  };
  const Row rows[] = {
      {"empty", {}, saverkit::FileKind::kNotInstaller, ""},
      {"text", Bytes(100, 'x'), saverkit::FileKind::kNotInstaller, ""},
      {"a program without the payload resource", packtest::MakeProgram(3), saverkit::FileKind::kNotInstaller, ""},
      {"sound", sound, saverkit::FileKind::kInstaller, ""},
      {"data beyond the end", imagewriter::BuildInstallerImage(beyond), saverkit::FileKind::kDamaged,
       "entry 2: data lies beyond the end of the file"},
      {"last entry cut", Bytes(sound.begin(), sound.end() - 2), saverkit::FileKind::kDamaged,
       "entry 4: data lies beyond the end of the file"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const saverkit::Identification found = saverkit::IdentifyMemory(row.bytes);
    EXPECT_EQ(found.kind, row.kind);
    EXPECT_EQ(found.damage, row.damage);
    if (row.kind == saverkit::FileKind::kInstaller) {
      EXPECT_EQ(found.title, "Caf\xE9 Ring");
      EXPECT_EQ(found.entries, 5u);
      EXPECT_EQ(found.installTotal, saverkit::Image::OpenMemory(row.bytes).installTotal());
    }
  }
  EXPECT_THROW(saverkit::Identify("/nonexistent/x.exe"), saverkit::Error);
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
