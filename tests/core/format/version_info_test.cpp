// The VERSIONINFO codec: the writer against windres, writer and reader
// round trips, hostile blocks, and finding RT_VERSION and the installer's
// identity in an image's resource tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/format/installer_identity.h"
#include "core/format/memory_source.h"
#include "core/format/version_info.h"
#include "core/imagewriter/pe_image_writer.h"
#include "core/imagewriter/version_info_writer.h"

using namespace format;
using imagewriter::BuildVersionInfo;
using imagewriter::ResourceItem;
using imagewriter::ResourceKey;
using imagewriter::VersionInfoContents;

namespace {

// The resource data i686-w64-mingw32-windres (binutils 2.42) writes for a
// VERSIONINFO with FILEVERSION and PRODUCTVERSION 1,2,3,0, FILEFLAGSMASK
// 0x3F, FILEOS 0x40004, FILETYPE 1; a StringFileInfo block "040904B0" of
// CompanyName "Example Corp", FileDescription "Sky Setup", FileVersion
// "1.2.3", ProductName "Sky" and URL "https://example.com/"; and a
// VarFileInfo Translation 0x0409, 1200.
constexpr char kWindres[] =
    "\xE4\x01\x34\x00\x00\x00\x56\x00\x53\x00\x5F\x00\x56\x00\x45\x00\x52\x00\x53\x00\x49\x00\x4F\x00\x4E\x00\x5F\x00"
    "\x49\x00\x4E\x00\x46\x00\x4F\x00\x00\x00\x00\x00\xBD\x04\xEF\xFE\x00\x00\x01\x00\x02\x00\x01\x00\x00\x00\x03\x00"
    "\x02\x00\x01\x00\x00\x00\x03\x00\x3F\x00\x00\x00\x00\x00\x00\x00\x04\x00\x04\x00\x01\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x42\x01\x00\x00\x01\x00\x53\x00\x74\x00\x72\x00\x69\x00\x6E\x00\x67\x00\x46\x00"
    "\x69\x00\x6C\x00\x65\x00\x49\x00\x6E\x00\x66\x00\x6F\x00\x00\x00\x1E\x01\x00\x00\x01\x00\x30\x00\x34\x00\x30\x00"
    "\x39\x00\x30\x00\x34\x00\x42\x00\x30\x00\x00\x00\x3A\x00\x0D\x00\x01\x00\x43\x00\x6F\x00\x6D\x00\x70\x00\x61\x00"
    "\x6E\x00\x79\x00\x4E\x00\x61\x00\x6D\x00\x65\x00\x00\x00\x00\x00\x45\x00\x78\x00\x61\x00\x6D\x00\x70\x00\x6C\x00"
    "\x65\x00\x20\x00\x43\x00\x6F\x00\x72\x00\x70\x00\x00\x00\x00\x00\x3C\x00\x0A\x00\x01\x00\x46\x00\x69\x00\x6C\x00"
    "\x65\x00\x44\x00\x65\x00\x73\x00\x63\x00\x72\x00\x69\x00\x70\x00\x74\x00\x69\x00\x6F\x00\x6E\x00\x00\x00\x00\x00"
    "\x53\x00\x6B\x00\x79\x00\x20\x00\x53\x00\x65\x00\x74\x00\x75\x00\x70\x00\x00\x00\x2C\x00\x06\x00\x01\x00\x46\x00"
    "\x69\x00\x6C\x00\x65\x00\x56\x00\x65\x00\x72\x00\x73\x00\x69\x00\x6F\x00\x6E\x00\x00\x00\x00\x00\x31\x00\x2E\x00"
    "\x32\x00\x2E\x00\x33\x00\x00\x00\x28\x00\x04\x00\x01\x00\x50\x00\x72\x00\x6F\x00\x64\x00\x75\x00\x63\x00\x74\x00"
    "\x4E\x00\x61\x00\x6D\x00\x65\x00\x00\x00\x00\x00\x53\x00\x6B\x00\x79\x00\x00\x00\x3A\x00\x15\x00\x01\x00\x55\x00"
    "\x52\x00\x4C\x00\x00\x00\x00\x00\x68\x00\x74\x00\x74\x00\x70\x00\x73\x00\x3A\x00\x2F\x00\x2F\x00\x65\x00\x78\x00"
    "\x61\x00\x6D\x00\x70\x00\x6C\x00\x65\x00\x2E\x00\x63\x00\x6F\x00\x6D\x00\x2F\x00\x00\x00\x00\x00\x44\x00\x00\x00"
    "\x01\x00\x56\x00\x61\x00\x72\x00\x46\x00\x69\x00\x6C\x00\x65\x00\x49\x00\x6E\x00\x66\x00\x6F\x00\x00\x00\x00\x00"
    "\x24\x00\x04\x00\x00\x00\x54\x00\x72\x00\x61\x00\x6E\x00\x73\x00\x6C\x00\x61\x00\x74\x00\x69\x00\x6F\x00\x6E\x00"
    "\x00\x00\x00\x00\x09\x04\xB0\x04";
const std::vector<std::uint8_t> kWindresBlob(kWindres, kWindres + sizeof kWindres - 1);

VersionInfoContents PinnedContents() {
  VersionInfoContents contents;
  const std::uint16_t version[4] = {1, 2, 3, 0};
  std::copy(version, version + 4, contents.fileVersion);
  std::copy(version, version + 4, contents.productVersion);
  contents.text[kCompanyName] = "Example Corp";
  contents.text[kFileDescription] = "Sky Setup";
  contents.text[kFileVersion] = "1.2.3";
  contents.text[kProductName] = "Sky";
  contents.text[kUrl] = "https://example.com/";
  return contents;
}

// The reader over exactly `blob`'s bytes: a read past them fails (and
// AddressSanitizer would see one that did not).
// `declared` is the resource's declared size, the blob's own by default.
VersionInfoFields Read(const std::vector<std::uint8_t>& blob, std::size_t declared = 0) {
  const std::vector<std::uint8_t> copy = blob;
  MemoryImageSource source(copy);
  VersionInfoFields fields;
  ReadVersionInfo(source, 0, static_cast<std::uint32_t>(declared ? declared : copy.size()), &fields);
  return fields;
}

std::string Text(const VersionInfoFields& fields, VersionField field) {
  return fields.present[field] ? fields.text[field] : "<absent>";
}

TEST(VersionInfo, WriterMatchesWindresByteForByteAndReadsBack) {
  EXPECT_EQ(BuildVersionInfo(PinnedContents()), kWindresBlob);
  const VersionInfoFields fields = Read(kWindresBlob);
  EXPECT_EQ(fields.status, VersionInfoStatus::kRead);
  EXPECT_EQ(Text(fields, kCompanyName), "Example Corp");
  EXPECT_EQ(Text(fields, kUrl), "https://example.com/");
  EXPECT_EQ(Text(fields, kLegalCopyright), "<absent>");
  EXPECT_EQ(fields.fileVersion[0] * 1000 + fields.fileVersion[1] * 100 + fields.fileVersion[2] * 10 +
                fields.fileVersion[3],
            1230);
}

TEST(VersionInfo, RoundTripsEveryFieldAloneAndTogether) {
  const std::string longest(259, 'W');
  // Windows-1252: e acute, en dash, trade mark, OE ligature, y diaeresis.
  const std::string nonAscii = "Caf\xE9 \x96 Star\x99 \x8C\xFF";
  std::vector<VersionInfoContents> rows;
  for (unsigned field = 0; field < kVersionFieldCount; ++field) {
    VersionInfoContents alone;
    alone.text[field] = field % 2 ? longest : nonAscii;
    rows.push_back(alone);
  }
  VersionInfoContents all;
  for (unsigned field = 0; field < kVersionFieldCount; ++field) all.text[field] = std::string(field + 1, 'a' + field);
  all.fileVersion[0] = 65535;
  all.productVersion[3] = 7;
  rows.push_back(all);
  rows.push_back(VersionInfoContents());  // nothing but the fixed information
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const VersionInfoFields fields = Read(BuildVersionInfo(rows[row]));
    ASSERT_EQ(fields.status, VersionInfoStatus::kRead) << row;
    for (unsigned field = 0; field < kVersionFieldCount; ++field)
      EXPECT_EQ(Text(fields, VersionField(field)), rows[row].text[field].empty() ? "<absent>" : rows[row].text[field])
          << "row " << row << " key " << kVersionFieldKeys[field];
    for (unsigned k = 0; k < 4; ++k) {
      EXPECT_EQ(fields.fileVersion[k], rows[row].fileVersion[k]) << row;
      EXPECT_EQ(fields.productVersion[k], rows[row].productVersion[k]) << row;
    }
  }
  VersionInfoContents tooLong;
  tooLong.text[kCompanyName] = longest + "W";
  EXPECT_THROW(BuildVersionInfo(tooLong), std::invalid_argument);
}

TEST(VersionInfo, ParsesOneToFourNumbersUpTo65535) {
  struct Row {
    const char* text;
    bool ok;
    std::uint16_t numbers[4];
  };
  const Row rows[] = {{"1", true, {1, 0, 0, 0}},         {"1.2.3", true, {1, 2, 3, 0}},
                      {"0.65535.0.9", true, {0, 65535, 0, 9}}, {"1.2.3.4.5", false, {}},
                      {"65536", false, {}},              {"1..2", false, {}},
                      {"", false, {}},                   {"1.2.", false, {}},
                      {"v1.2", false, {}},               {"1.-2", false, {}},
                      {"1.2 ", false, {}},               {"999999", false, {}}};
  for (const Row& row : rows) {
    std::uint16_t numbers[4] = {9, 9, 9, 9};
    EXPECT_EQ(imagewriter::ParseVersionNumbers(row.text, numbers), row.ok) << row.text;
    if (row.ok) {
      EXPECT_EQ(std::vector<std::uint16_t>(numbers, numbers + 4),
                std::vector<std::uint16_t>(row.numbers, row.numbers + 4)) << row.text;
    }
  }
}

// Offsets in kWindresBlob: the StringFileInfo block at 92, its table at
// 128, the CompanyName String at 152 (value at 184), FileDescription at
// 212, the URL String at 356, VarFileInfo at 416.
TEST(VersionInfo, HostileBlocksNeverReadOutsideAndKeepWhatCameBefore) {
  struct Row {
    const char* what;
    std::size_t at;
    std::vector<std::uint8_t> bytes;  // written at `at`; empty: the file ends at `at`
    VersionInfoStatus status;
    const char* company;  // CompanyName as read
    const char* url;
  };
  const Row rows[] = {
      {"root longer than the declared size", 0, {0xE8, 0x01}, VersionInfoStatus::kDamaged, "<absent>", "<absent>"},
      {"file ends inside FileDescription", 230, {}, VersionInfoStatus::kDamaged, "Example Corp", "<absent>"},
      {"file ends inside the root key", 20, {}, VersionInfoStatus::kDamaged, "<absent>", "<absent>"},
      {"file ends inside the CompanyName value", 200, {}, VersionInfoStatus::kDamaged, "<absent>", "<absent>"},
      {"String longer than its table", 212, {0xFF, 0x01}, VersionInfoStatus::kDamaged, "Example Corp", "<absent>"},
      {"String shorter than its header", 212, {0x04, 0x00}, VersionInfoStatus::kDamaged, "Example Corp", "<absent>"},
      {"key without its NUL", 152, {0x0E, 0x00}, VersionInfoStatus::kDamaged, "<absent>", "<absent>"},
      {"odd String length: the next one is still found", 152, {0x39, 0x00}, VersionInfoStatus::kRead,
       "Example Corp", "https://example.com/"},
      {"value without its NUL ends with its block; the zeros behind end the table", 152, {0x36, 0x00},
       VersionInfoStatus::kRead, "Example Cor", "<absent>"},
      {"value with a control and a surrogate", 184, {0x0A, 0x00, 0x00, 0xD8}, VersionInfoStatus::kRead,
       "??ample Corp", "https://example.com/"},
      {"zero-length String ends the table", 212, {0x00, 0x00}, VersionInfoStatus::kRead, "Example Corp",
       "<absent>"},
      {"wrong fixed-information signature", 40, {0xBE}, VersionInfoStatus::kDamaged, "<absent>", "<absent>"},
      {"fixed information longer than the root", 2, {0xF0, 0x01}, VersionInfoStatus::kDamaged, "<absent>",
       "<absent>"},
      {"another root key", 6, {'W'}, VersionInfoStatus::kDamaged, "<absent>", "<absent>"},
      {"VarFileInfo past the root", 416, {0x50, 0x00}, VersionInfoStatus::kDamaged, "Example Corp",
       "https://example.com/"},
  };
  for (const Row& row : rows) {
    std::vector<std::uint8_t> blob = kWindresBlob;
    if (row.bytes.empty()) blob.resize(row.at);
    std::copy(row.bytes.begin(), row.bytes.end(), blob.begin() + static_cast<std::ptrdiff_t>(row.at));
    const VersionInfoFields fields = Read(blob, kWindresBlob.size());
    EXPECT_EQ(fields.status, row.status) << row.what;
    EXPECT_EQ(Text(fields, kCompanyName), row.company) << row.what;
    EXPECT_EQ(Text(fields, kUrl), row.url) << row.what;
    for (unsigned field = 0; field < kVersionFieldCount; ++field)
      EXPECT_TRUE(fields.present[field] || fields.text[field][0] == '\0') << row.what << " " << field;
  }
}

TEST(VersionInfo, LongHostileValueIsTruncatedTo259Bytes) {
  // A String of 1000 letters, as a hostile image may carry.
  VersionInfoContents contents;
  contents.text[kProductName] = "P";
  std::vector<std::uint8_t> blob = BuildVersionInfo(contents);
  // Grow the ProductName value: the String is the table's only one.
  const std::size_t string = 152;
  std::vector<std::uint8_t> value;
  for (int i = 0; i < 1000; ++i) value.insert(value.end(), {'Q', 0});
  blob.insert(blob.begin() + static_cast<std::ptrdiff_t>(string + 32), value.begin(), value.end());
  for (std::size_t at : {std::size_t{0}, std::size_t{92}, std::size_t{128}, string}) {
    format::WriteLe16(&blob[at], static_cast<std::uint16_t>(format::ReadLe16(&blob[at]) + value.size()));
  }
  const VersionInfoFields fields = Read(blob);
  EXPECT_EQ(fields.status, VersionInfoStatus::kRead);
  EXPECT_EQ(Text(fields, kProductName), std::string(259, 'Q'));
}

std::vector<std::uint8_t> ImageWith(std::vector<ResourceItem> resources) {
  imagewriter::PeImageLayout contents;
  contents.sectionsBefore.push_back({".text", {0xC3}, 0x60000020});
  contents.resources = std::move(resources);
  return imagewriter::WritePeImage(contents).bytes;
}

TEST(VersionInfo, FoundAmongOtherResourcesInItsFirstLanguage) {
  VersionInfoContents german;
  german.text[kCompanyName] = "Beispiel GmbH";
  const std::vector<std::uint8_t> image = ImageWith({
      {ResourceKey::Named("LASTRES"), ResourceKey::Number(1000), 1033, {0, 0, 0, 0}},
      {ResourceKey::Number(16), ResourceKey::Number(2), 1033, BuildVersionInfo(german)},
      {ResourceKey::Number(16), ResourceKey::Number(1), 1033, kWindresBlob},
      {ResourceKey::Number(16), ResourceKey::Number(1), 1031, BuildVersionInfo(german)},
      {ResourceKey::Number(10), ResourceKey::Named("SAVERKI"), 1033, {'n', 'o'}},
      {ResourceKey::Number(10), ResourceKey::Named("SAVERKIT"), 1033, {'S', 'a', 'v', 0x07, '1', 0, 'x'}},
      {ResourceKey::Number(3), ResourceKey::Number(1), 1033, {1, 2, 3}},
  });
  MemoryImageSource source(image);
  VersionInfoFields fields;
  EXPECT_EQ(ReadImageVersionInfo(source, &fields), VersionInfoStatus::kRead);
  // 1031 sorts before 1033: the German block is the first language.
  EXPECT_EQ(Text(fields, kCompanyName), "Beispiel GmbH");
  char identity[kInstallerIdentitySize];
  EXPECT_TRUE(ReadInstallerIdentity(source, identity));
  EXPECT_STREQ(identity, "Sav?1");

  const std::vector<std::uint8_t> bare =
      ImageWith({{ResourceKey::Named("LASTRES"), ResourceKey::Number(1000), 1033, {0, 0, 0, 0}}});
  MemoryImageSource bareSource(bare);
  EXPECT_EQ(ReadImageVersionInfo(bareSource, &fields), VersionInfoStatus::kAbsent);
  EXPECT_FALSE(ReadInstallerIdentity(bareSource, identity));
  EXPECT_STREQ(identity, "");
}

}  // namespace
