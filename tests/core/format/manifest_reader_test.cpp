// Reading the manifest: title, licence, number base and the entry table.
#include <gtest/gtest.h>

#include "core/imagewriter/manifest_writer.h"
#include "installer/own_image.h"
#include "installer/own_manifest.h"
#include "tool/reader/payload_image.h"
#include "temp_files.h"
#include "handmade_sky_image.h"

using namespace format;
using namespace installer;
using namespace reader;

namespace {

imagewriter::EntryContents Stored(std::size_t size, std::uint8_t fill = 0xAB) {
  imagewriter::EntryContents e;
  e.stored.assign(size, fill);
  return e;
}

PayloadImage Load(const std::vector<std::uint8_t>& bytes) {
  testsupport::TempFolder folder;
  return LoadPayloadImage(folder.Write("setup.exe", bytes));
}

TEST(ManifestReader, HandmadeSkyImage) {
  testsupport::TempFolder folder;
  const std::string path = folder.Write("sky.exe", skyimage::BuildHandmadeSkyImage());

  HFILE manifest = OpenManifestInImage(path.c_str());
  ASSERT_NE(manifest, HFILE_ERROR);
  std::uint16_t numberBase = 0;
  ASSERT_TRUE(SkipToEntryTable(manifest, &numberBase));
  EXPECT_EQ(numberBase, 23);
  EXPECT_EQ(_llseek(manifest, 0, FILE_CURRENT), 0xDDF8);
  PayloadEntry entry;
  std::vector<PayloadEntry> entries;
  while (ReadNextEntry(manifest, &entry)) entries.push_back(entry);
  // The table's end, terminator included: 376 bytes after the manifest.
  EXPECT_EQ(_llseek(manifest, 0, FILE_CURRENT), 0xDCF0 + 376);
  _lclose(manifest);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].DataOffset, 0x2CC82u);
  EXPECT_EQ(entries[1].StoredSize, 709544u);
  EXPECT_EQ(entries[1].ExpandedSize, 773702u);
  EXPECT_EQ(std::string(entries[2].Name, 15), ".TMP           ");
  EXPECT_EQ(entries[2].Kind, 0x20);

  const PayloadImage image = LoadPayloadImage(path);
  EXPECT_EQ(image.Title(), "Sky");
  EXPECT_EQ(image.InstallTotalBytes(), 1052230u);
  for (const PayloadEntry& e : image.entries) EXPECT_TRUE(image.DataInsideFile(e));
  EXPECT_FALSE(image.tableCutShort);
}

// The installer's reader and the tool's both skip the longest licence and
// terminate a title that fills its field.
TEST(ManifestReader, LongestLicenceAndTitleWithoutNul) {
  imagewriter::ManifestContents contents;
  contents.license = std::string(65535, 'L');
  contents.license[100] = '\0';  // a NUL in the text is data like any other byte
  contents.title = std::string(260, 'T');
  contents.numberBase = 0xFFFF;
  contents.entries = {Stored(3)};
  testsupport::TempFolder folder;
  const std::string path = folder.Write("setup.exe", imagewriter::BuildInstallerImage(contents));
  const PayloadImage image = LoadPayloadImage(path);
  EXPECT_EQ(image.licenseLength, 65535);
  EXPECT_EQ(image.licenseText, contents.license);
  EXPECT_EQ(std::string(image.titleField), contents.title);
  EXPECT_EQ(image.numberBase, 0xFFFF);
  ASSERT_EQ(image.entries.size(), 1u);
  EXPECT_EQ(image.entries[0].StoredSize, 3u);

  HFILE manifest = OpenManifestInImage(path.c_str());
  ASSERT_NE(manifest, HFILE_ERROR);
  char title[kTitleFieldSize + 1];
  std::memset(title, 'x', sizeof title);
  EXPECT_TRUE(ReadTitleField(manifest, title));
  _lclose(manifest);
  EXPECT_EQ(std::string(title), contents.title);
}

// The entries listed and the install total, which counts the expanded size
// of a compressed entry and wraps at 32 bits as the installer's count does.
TEST(ManifestReader, EntriesAndInstallTotal) {
  imagewriter::EntryContents compressed = Stored(7);
  compressed.expandedSize = 1000;
  imagewriter::EntryContents huge = Stored(1);
  huge.expandedSize = 0x80000000u;
  const struct {
    const char* what;
    std::vector<imagewriter::EntryContents> entries;
    std::size_t listed;
    std::uint32_t total;
  } cases[] = {
      {"only the terminator", {}, 0, 0},
      {"the table ends at the first zero stored size",
       {Stored(10), Stored(20), Stored(0), Stored(30)}, 2, 30},
      {"a compressed entry counts its expanded size", {Stored(10), compressed}, 2, 1010},
      {"the total wraps at 32 bits", {huge, huge, huge}, 3, 0x80000000u},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    imagewriter::ManifestContents contents;
    contents.title = "T";
    contents.entries = c.entries;
    const PayloadImage image = Load(imagewriter::BuildInstallerImage(contents));
    EXPECT_EQ(image.entries.size(), c.listed);
    EXPECT_EQ(image.InstallTotalBytes(), c.total);
  }
}

TEST(ManifestReader, ShortReadEndsTheTable) {
  imagewriter::ManifestContents contents;
  contents.title = "T";
  contents.entries = {Stored(5), Stored(6)};
  std::vector<std::uint8_t> bytes = imagewriter::BuildInstallerImage(contents);
  PayloadImage whole = Load(bytes);
  // Cut inside the second entry's record: only the first entry remains.
  const std::size_t secondEntry = whole.walk.manifestOffset + ManifestHeaderSize(0) + kEntrySize;
  bytes.resize(secondEntry + 10);
  PayloadImage cut = Load(bytes);
  EXPECT_EQ(cut.entries.size(), 1u);
  EXPECT_TRUE(cut.tableCutShort);
  EXPECT_FALSE(cut.DataInsideFile(cut.entries[0]));
}

// A missing file and a folder are the tool's and the library's tests.
TEST(ManifestReader, DamagedImagesGiveAReason) {
  testsupport::TempFolder folder;
  std::vector<std::uint8_t> good = imagewriter::BuildInstallerImage({});
  PayloadImage probe = Load(good);
  std::vector<std::uint8_t> notPe = good;
  notPe[0] = 'X';
  std::vector<std::uint8_t> beyond = skyimage::BuildHandmadeSkyImage();
  beyond.resize(0xDCF0);
  std::vector<std::uint8_t> headerCut = skyimage::BuildHandmadeSkyImage();
  headerCut.resize(0xDCF0 + 100);
  imagewriter::PeImageLayout noRsrc;
  noRsrc.withResourceSection = false;
  noRsrc.sectionsBefore.push_back({".text", {0xC3}});
  struct Case {
    std::vector<std::uint8_t> bytes;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {notPe, "not a PE image"},
      {{'M', 'Z'}, "not a PE image"},
      {{}, "not a PE image"},
      {imagewriter::WritePeImage(noRsrc).bytes, "no .rsrc section"},
      {std::vector<std::uint8_t>(good.begin(), good.begin() + probe.walk.resourceBase + 20), "image cut short"},
      {beyond, "manifest lies beyond the end of the file"},
      {headerCut, "image cut short"},
  };
  auto reason = [](const std::string& path) -> std::string {
    try {
      LoadPayloadImage(path);
    } catch (const ImageError& e) {
      EXPECT_EQ(e.file(), path);
      return e.what();
    }
    return "loaded";
  };
  for (const Case& c : cases) EXPECT_EQ(reason(folder.Write("bad.exe", c.bytes)), c.reason);
}

}  // namespace
