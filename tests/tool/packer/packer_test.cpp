// The packer: images made across the option space read back with the
// installer's own reader and decoder; the manifest's placement and layout;
// the stub's resources and program sections carried over; every refusal;
// the win32 build's installer.exe as a stub; signed layouts and time stamps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "core/format/image_walk.h"
#include "core/format/install_names.h"
#include "core/format/installer_identity.h"
#include "core/format/memory_source.h"
#include "core/format/pe_header_fields.h"
#include "core/format/pe_layout.h"
#include "core/format/version_info.h"
#include "core/imagewriter/pe_checksum.h"
#include "saverkit_version.h"
#include "stub_fixture.h"
#include "temp_files.h"
#include "tool/packer/authenticode_signing.h"
#include "tool/packer/image_time_stamp.h"
#include "tool/packer/packer.h"
#include "tool/packer/stub_image.h"
#include "tool/reader/payload_image.h"

using namespace format;
using namespace format::pe_layout;
using namespace imagewriter;
using namespace packer;
using reader::LoadPayloadImage;
using reader::PayloadImage;

namespace {

PackRequest SampleRequest(std::size_t mediaCount = 2) {
  PackRequest request;
  request.title = "Night Sky";
  request.saver = {"night.scr", packtest::TextLikeBytes(30000, 1)};
  request.data = {"night.dat", packtest::NoiseBytes(5000, 2)};  // does not compress
  request.uninstaller = {"UNINSTAL.EXE", packtest::TextLikeBytes(9000, 3)};
  const char* names[] = {"melody.mid", "chime.wav", "extra.Mp3"};
  for (std::size_t i = 0; i < mediaCount; ++i)
    request.media.push_back({names[i % 3], packtest::TextLikeBytes(2000 + 100 * i, 4 + static_cast<unsigned>(i))});
  return request;
}

// Packs, writes and verifies; returns the written path.
std::string PackToFile(const testsupport::TempFolder& folder, const std::vector<std::uint8_t>& stubBytes,
                       const PackRequest& request, PackResult* result) {
  const StubImage stub = ReadStubImage(stubBytes);
  *result = PackInstaller(stub, request);
  const std::string path = folder.Write("setup.exe", result->image);
  VerifyPackedImage(path, stub, request);
  return path;
}

struct OptionCase {
  const char* label;
  std::string title;
  bool store;
  MediaKind kind;
  std::uint16_t numberBase;
  std::size_t licenseLength;
  std::size_t mediaCount;
  const char* firstMediaName;  // installed name of position 3
};

TEST(Packer, ImagesReadBackAcrossTheOptions) {
  const OptionCase cases[] = {
      {"compressed, juke", "Night Sky", false, MediaKind::kJuke, 23, 0, 2, "JUKE0023.MID"},
      {"stored, juk_", "Night Sky", true, MediaKind::kJukUnderscore, 9999, 0, 3, "JUK_9999.MID"},
      {"file kind, base 0", "Night Sky", false, MediaKind::kFile, 0, 0, 1, "FILE0000.MID"},
      {"licence of 65,535 bytes", "Night Sky", false, MediaKind::kJuke, 1, 65535, 0, nullptr},
      {"dots and inner blanks", "Mr. Blue  Sky v2.1", false, MediaKind::kJuke, 7, 12, 2, "JUKE0007.MID"},
      {"title of 100 characters", std::string(100, 'T'), true, MediaKind::kJuke, 1, 1, 1, "JUKE0001.MID"},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.label);
    PackRequest request = SampleRequest(c.mediaCount);
    request.title = c.title;
    request.store = c.store;
    request.kind = c.kind;
    request.numberBase = c.numberBase;
    request.license = std::string(c.licenseLength, 'L');
    if (c.licenseLength) request.licensePath = "licence.txt";

    testsupport::TempFolder folder;
    PackResult result;
    const std::string path = PackToFile(folder, packtest::MakeStub(), request, &result);

    const PayloadImage image = LoadPayloadImage(path);
    EXPECT_EQ(image.walk.manifestOffset, result.manifestOffset);
    EXPECT_EQ(image.Title(), request.title);
    EXPECT_EQ(image.licenseText, request.license);
    EXPECT_EQ(image.numberBase, c.numberBase);
    ASSERT_EQ(image.entries.size(), 3 + c.mediaCount);
    // VerifyPackedImage (above) decoded every entry against its file, so
    // each entry's sizes and bytes are right.
    for (std::size_t i = 0; i < image.entries.size(); ++i) {
      const PayloadEntry& entry = image.entries[i];
      // Text compresses; noise (the data file) is stored even when allowed.
      EXPECT_EQ(IsCompressed(entry), !c.store && i != 1) << "entry " << i;
      if (IsCompressed(entry)) {
        EXPECT_LT(entry.StoredSize, InstalledSize(entry)) << "entry " << i;
      }
    }
    if (c.firstMediaName) {
      char name[kPathBufferSize];
      ASSERT_TRUE(BuildMediaFileName(name, sizeof name, image.entries[3], 3, image.numberBase));
      EXPECT_STREQ(name, c.firstMediaName);
      EXPECT_EQ(result.entries[3].installedName,
                "MARLOWEN\\VELDRAKE\\" + request.title + "\\" + c.firstMediaName);
    }
  }
}

// Three entries and no licence: a 376-byte manifest (as in the handmade Sky
// image), each entry's data right behind the previous one's to the end.
TEST(Packer, ManifestLayoutMatchesTheHandmadeSkyImage) {
  PackRequest request = SampleRequest(0);
  request.store = true;
  request.numberBase = 23;
  testsupport::TempFolder folder;
  PackResult result;
  PackToFile(folder, packtest::MakeStub(), request, &result);
  const std::uint8_t* m = result.image.data() + result.manifestOffset;
  EXPECT_EQ(ReadLe16(m), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m + 2)), "Night Sky");
  EXPECT_EQ(m[2 + 9], 0);
  EXPECT_EQ(ReadLe16(m + 262), 23);
  const std::uint32_t first = result.manifestOffset + 376;
  const std::uint32_t sizes[] = {30000, 5000, 9000};
  std::uint32_t expected = first;
  for (int i = 0; i < 3; ++i) {
    const std::uint8_t* e = m + 264 + 28 * i;
    EXPECT_EQ(ReadLe32(e), expected) << i;
    EXPECT_EQ(ReadLe32(e + 4), sizes[i]);
    EXPECT_EQ(ReadLe32(e + 8), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e + 12), 16), ".TMP" + std::string(11, ' ') + "\x20");
    expected += sizes[i];
  }
  const std::uint8_t terminator[28] = {};
  EXPECT_EQ(std::memcmp(m + 264 + 28 * 3, terminator, 28), 0);
  EXPECT_EQ(result.image.size(), expected);

  // A media entry: ".MID" blank-filled to 15, then Kind.
  request = SampleRequest(1);
  request.kind = MediaKind::kJukUnderscore;
  PackToFile(folder, packtest::MakeStub(), request, &result);
  const std::uint8_t* media = result.image.data() + result.manifestOffset + 264 + 28 * 3;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(media + 12), 16), ".MID" + std::string(11, ' ') + "\x5F");
}

// A stub with a .reloc, a debug section and a symbol table behind .rsrc
// (on a stub with none, VerifyPackedImage in ImagesReadBackAcrossTheOptions
// checks the resources).
TEST(Packer, StubResourcesSurviveSectionsBehindAreMovedOrDroppedAndTheManifestComesLast) {
  packtest::StubLayout layout;
  layout.relocationsBehind = true;
  layout.debugBehind = true;
  layout.symbols = true;
  const StubImage stub = ReadStubImage(packtest::MakeStub(layout));
  ASSERT_EQ(stub.sections.size(), 5u);
  const SectionHeader& relocs = stub.sections[3];
  const std::vector<std::uint8_t> relocData(stub.bytes.begin() + relocs.pointerToRawData,
                                            stub.bytes.begin() + relocs.pointerToRawData + 0x54);
  testsupport::TempFolder folder;
  PackResult result;
  PackToFile(folder, stub.bytes, SampleRequest(), &result);
  const StubImage packed = ReadStubImage(result.image);

  // Every resource is still there with its data: none lay behind the
  // manifest, which overwrote everything from its first byte on. The
  // version information alone is the author's now.
  ASSERT_EQ(packed.resources.size(), stub.resources.size());
  EXPECT_TRUE(IsPayloadResource(packed.resources.front()));
  for (const ResourceItem& item : packed.resources) {
    if (item.type.id == 16) {
      EXPECT_EQ(item.data, imagewriter::BuildVersionInfo(ImageVersionInfo(SampleRequest())));
    }
  }
  for (const ResourceItem& original : stub.resources) {
    if (IsPayloadResource(original) || original.type.id == 16) continue;
    bool found = false;
    for (const ResourceItem& item : packed.resources)
      found = found || (item.type.id == original.type.id && item.name.id == original.name.id &&
                        item.name.name == original.name.name &&
                        item.language == original.language && item.data == original.data &&
                        item.codePage == original.codePage);
    EXPECT_TRUE(found) << "type " << original.type.id << " id " << original.name.id;
  }
  // .reloc moves in front of .rsrc with its data; the debug section and the
  // symbol table are dropped.
  ASSERT_EQ(packed.sections.size(), 4u);  // .text .data .reloc .rsrc
  EXPECT_EQ(packed.sections[2].name, ".reloc");
  EXPECT_EQ(packed.sections[3].name, ".rsrc");
  EXPECT_EQ(packed.resourceSection, 3u);
  const SectionHeader& moved = packed.sections[2];
  EXPECT_EQ(packed.directories[kBaseRelocationDirectory].rva, moved.virtualAddress);
  EXPECT_EQ(packed.directories[kBaseRelocationDirectory].size, 0x54u);
  EXPECT_EQ(std::vector<std::uint8_t>(result.image.begin() + moved.pointerToRawData,
                                      result.image.begin() + moved.pointerToRawData + 0x54),
            relocData);
  EXPECT_EQ(ReadLe32(&result.image[packed.FileHeaderOffset() + 8]), 0u);  // no symbol table
  // Sections stay adjacent in memory, and the image's size covers them.
  EXPECT_EQ(moved.virtualAddress, stub.sections[2].virtualAddress);
  EXPECT_GT(packed.sections[3].virtualAddress, moved.virtualAddress);
  const std::uint32_t sizeOfImage = ReadLe32(&result.image[packed.OptionalHeaderOffset() + 56]);
  EXPECT_EQ(sizeOfImage % 0x1000, 0u);
  EXPECT_GE(sizeOfImage, packed.sections[3].virtualAddress + packed.sections[3].virtualSize);
  // The manifest starts inside the section's raw data and runs past it.
  const SectionHeader& rsrc = packed.sections[packed.resourceSection];
  EXPECT_GE(result.manifestOffset, rsrc.pointerToRawData);
  EXPECT_LT(result.manifestOffset, rsrc.pointerToRawData + rsrc.sizeOfRawData);
  EXPECT_GT(result.image.size(), rsrc.pointerToRawData + rsrc.sizeOfRawData);
  EXPECT_EQ(packed.directories[kResourceDirectory].size, rsrc.virtualSize);
  EXPECT_EQ(ReadLe32(&result.image[packed.OptionalHeaderOffset() + 64]),
            ComputePeChecksum(result.image, packed.OptionalHeaderOffset() + 64));
}

// Byte offsets into the stub's headers, for damaging them.
std::vector<std::uint8_t> Damaged(std::vector<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  WriteLe16(&bytes[at], value);
  return bytes;
}

TEST(Packer, RefusesStubsThatCannotCarryAPayload) {
  const std::vector<std::uint8_t> good = packtest::MakeStub();
  const std::uint32_t pe = ReadLe32(&good[60]);
  auto withResources = [](std::vector<ResourceItem> items) {
    packtest::StubLayout layout;
    layout.resources = std::move(items);
    return packtest::MakeStub(layout);
  };
  std::vector<ResourceItem> dialogsOnly = packtest::InstallerResources();
  dialogsOnly.erase(dialogsOnly.begin());
  auto payloadAs = [](ResourceKey type, std::uint16_t id, std::uint16_t language) {
    std::vector<ResourceItem> items = packtest::InstallerResources();
    items.front().type = std::move(type);
    items.front().name = ResourceKey::Number(id);
    items.front().language = language;
    return items;
  };
  std::vector<ResourceItem> namedBefore = packtest::InstallerResources();
  namedBefore.push_back({ResourceKey::Named("BITMAPS"), ResourceKey::Number(1), 1033, {1, 2, 3}, false});
  PeImageLayout noRsrc;
  noRsrc.sectionsBefore.push_back({".text", {0xC3}, 0x60000020});
  noRsrc.resourceSectionName = ".RSRC";
  noRsrc.resources = packtest::InstallerResources();
  packtest::StubLayout codeBehind;
  codeBehind.codeBehind = true;
  std::vector<std::uint8_t> cut = good;
  cut.resize(ReadLe32(&good[pe + 248 + 2 * 40 + 20]) + 20);  // inside the resource tree

  const struct {
    const char* label;
    std::vector<std::uint8_t> bytes;
    const char* reason;
  } cases[] = {
      {"not MZ", Damaged(good, 0, 0x4D5A), "MZ"},
      {"no PE signature", Damaged(good, pe, 0x4550 + 1), "PE signature"},
      {"PE32+", Damaged(good, pe + 24, 0x020B), "PE32"},
      {"x64 machine", Damaged(good, pe + 4, 0x8664), "32-bit"},
      {"no .rsrc section", WritePeImage(noRsrc).bytes, "no .rsrc"},
      {"no LASTRES", withResources(dialogsOnly), "first resource is not LASTRES"},
      {"named type sorts first", withResources(namedBefore), "first resource is not LASTRES"},
      {"LASTRES id 1001", withResources(payloadAs(ResourceKey::Named("LASTRES"), 1001, 1033)), "not LASTRES"},
      {"LASTRES language 1031", withResources(payloadAs(ResourceKey::Named("LASTRES"), 1000, 1031)), "not LASTRES"},
      {"section behind .rsrc", packtest::MakeStub(codeBehind), "follows the .rsrc section"},
      {"cut short", cut, "beyond the end of the file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    try {
      const StubImage stub = ReadStubImage(c.bytes);
      PackInstaller(stub, SampleRequest());
      ADD_FAILURE() << "accepted";
    } catch (const StubError& e) {
      EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
  }
}

TEST(Packer, RefusesInputsTheInstallerCannotUse) {
  const struct {
    const char* label;
    void (*change)(PackRequest&);
    const char* reason;
  } cases[] = {
      {"empty title", [](PackRequest& r) { r.title = ""; }, "empty"},
      {"title of 101", [](PackRequest& r) { r.title = std::string(101, 'a'); }, "at most 100"},
      {"control character", [](PackRequest& r) { r.title = "A\tB"; }, "control"},
      {"trailing dot", [](PackRequest& r) { r.title = "Sky."; }, "ends in"},
      {"leading blank", [](PackRequest& r) { r.title = " Sky"; }, "starts with"},
      {"device name", [](PackRequest& r) { r.title = "con"; }, "reserves"},
      {"licence of 65,536", [](PackRequest& r) { r.license.assign(65536, 'x'); }, "65,535"},
      {"licence with NUL", [](PackRequest& r) { r.license = std::string("a\0b", 3); }, "NUL"},
      {"empty licence file", [](PackRequest& r) { r.licensePath = "empty.txt"; }, "licence file is empty"},
      {"empty saver", [](PackRequest& r) { r.saver.bytes.clear(); }, "screen saver is empty"},
      {"empty data", [](PackRequest& r) { r.data.bytes.clear(); }, "data file is empty"},
      {"empty uninstaller", [](PackRequest& r) { r.uninstaller.bytes.clear(); }, "uninstaller is empty"},
      {"empty media", [](PackRequest& r) { r.media[1].bytes.clear(); }, "media file is empty"},
      {"media without extension", [](PackRequest& r) { r.media[0].path = "dir.x/melody"; }, "extension"},
      {"media ending in a dot", [](PackRequest& r) { r.media[0].path = "melody."; }, "extension"},
      {"extension of 15", [](PackRequest& r) { r.media[0].path = "a.abcdefghijklmno"; }, "14 characters"},
      {"non-ASCII extension", [](PackRequest& r) { r.media[0].path = "a.m\xE9"; }, "ASCII"},
      {"unsafe media name", [](PackRequest& r) { r.media[0].path = "a.m?d"; }, "cannot hold"},
      {"numbers past 99999", [](PackRequest& r) { r.numberBase = 65535; r.media[0].bytes = {1}; r.media.resize(34466, r.media[0]); }, "99999"},
      {"254 media files", [](PackRequest& r) { r.media[0].bytes = {1}; r.media.resize(254, r.media[0]); },
       "more than the 256 files the uninstaller removes"},
      {"name used twice", [](PackRequest& r) { r.title = "JUKE0001"; r.numberBase = 1; r.media[0].path = "x.dat"; },
       "already uses"},
      {"publisher of 260", [](PackRequest& r) { r.publisher.assign(260, 'p'); }, "at most 259"},
      {"publisher with a line feed", [](PackRequest& r) { r.publisher = "A\nB"; }, "--publisher holds a control"},
      {"copyright with DEL", [](PackRequest& r) { r.copyright = "A\x7F"; }, "--copyright holds a control"},
      {"url without a scheme", [](PackRequest& r) { r.url = "example.com"; }, "not a web address"},
      {"url of a scheme alone", [](PackRequest& r) { r.url = "https://"; }, "not a web address"},
  };
  const StubImage stub = ReadStubImage(packtest::MakeStub());
  const auto expectRefused = [&](const PackRequest& request, const std::string& reason) {
    try {
      PackInstaller(stub, request);
      ADD_FAILURE() << "accepted";
    } catch (const PackError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    PackRequest request = SampleRequest();
    c.change(request);
    expectRefused(request, c.reason);
  }
  for (const char c : std::string("\\/:*?\"<>|")) {  // each character Windows file names cannot hold
    SCOPED_TRACE(c);
    PackRequest request = SampleRequest();
    request.title = std::string("A") + c + "B";
    expectRefused(request, "cannot hold");
  }
}

TEST(Packer, VerificationCatchesADamagedImage) {
  const std::vector<std::uint8_t> stubBytes = packtest::MakeStub();
  const StubImage stub = ReadStubImage(stubBytes);
  const PackRequest request = SampleRequest();
  PackResult result = PackInstaller(stub, request);
  testsupport::TempFolder folder;
  const PayloadImage image = LoadPayloadImage(folder.Write("good.exe", result.image));

  const struct {
    const char* label;
    std::size_t at;
  } damage[] = {
      {"compressed entry", image.entries[0].DataOffset + image.entries[0].StoredSize / 2},
      {"stored entry", image.entries[1].DataOffset + 17},
      {"title", result.manifestOffset + 3},
      {"media kind", result.manifestOffset + 264 + 28 * 3 + 27},
  };
  for (const auto& d : damage) {
    SCOPED_TRACE(d.label);
    std::vector<std::uint8_t> bytes = result.image;
    bytes[d.at] ^= 0x40;
    EXPECT_THROW(VerifyPackedImage(folder.Write("bad.exe", bytes), stub, request), PackError);
  }
  // Another stub's resources (here its identity) are not this image's.
  std::vector<ResourceItem> other = packtest::InstallerResources();
  other.back().data[0] ^= 1;
  packtest::StubLayout layout;
  layout.resources = other;
  EXPECT_THROW(VerifyPackedImage(folder.Write("good.exe", result.image),
                                       ReadStubImage(packtest::MakeStub(layout)), request),
               PackError);
}

// Hand-worked sums: 0x0201 + 0x0003 + length 3; and 0xFFFF + 0xFFFF folds
// to 0xFFFF, plus length 4. The checksum field itself counts as zero.
TEST(PeChecksum, KnownSums) {
  EXPECT_EQ(ComputePeChecksum({0x01, 0x02, 0x03}, 100), 0x0204u + 3);
  EXPECT_EQ(ComputePeChecksum({0xFF, 0xFF, 0xFF, 0xFF}, 100), 0xFFFFu + 4);
  EXPECT_EQ(ComputePeChecksum({0x01, 0x02, 0xAA, 0xBB, 0xCC, 0xDD, 0x03, 0x00}, 2), 0x0204u + 8);
}

// Packs onto `bytes`: false when the stub is refused; when it is taken, the
// image must lead the installer's walk to the manifest the packer wrote.
bool PackAnything(const std::vector<std::uint8_t>& bytes) {
  PackResult result;
  try {
    const StubImage stub = ReadStubImage(bytes);
    PackRequest request = SampleRequest(1);
    request.store = true;
    result = PackInstaller(stub, request);
  } catch (const StubError&) {
    return false;
  } catch (const PackError&) {
    return false;
  }
  MemoryImageSource source(result.image);
  ManifestWalkInfo walk;
  EXPECT_EQ(WalkToManifest(source, &walk), ManifestWalkError::kNone);
  EXPECT_EQ(walk.manifestOffset, result.manifestOffset);
  return true;
}

TEST(Packer, DamagedStubsAreRefusedNotTrusted) {
  packtest::StubLayout layout;
  layout.relocationsBehind = true;
  layout.debugBehind = true;
  const std::vector<std::uint8_t> stub = packtest::MakeStub(layout);
  for (std::size_t size = 0; size < stub.size(); size += 13) {
    EXPECT_FALSE(PackAnything(std::vector<std::uint8_t>(stub.begin(), stub.begin() + static_cast<std::ptrdiff_t>(size))))
        << "a stub cut to " << size << " bytes was taken";
  }
  EXPECT_TRUE(PackAnything(stub));
  const StubImage parsed = ReadStubImage(stub);
  const std::uint32_t rsrc = parsed.sections[parsed.resourceSection].pointerToRawData;
  std::uint32_t state = 12345;
  int refused = 0;
  for (int round = 0; round < 1000; ++round) {
    std::vector<std::uint8_t> bytes = stub;
    for (int k = 0; k < 3; ++k) {
      state = state * 1664525u + 1013904223u;
      // Headers and the resource tree, where every offset lives.
      const std::uint32_t span = 0x400 + 0x300;
      std::uint32_t at = (state >> 8) % span;
      at = at < 0x400 ? at : rsrc + (at - 0x400);
      bytes[at] = static_cast<std::uint8_t>(state >> 24);
    }
    refused += PackAnything(bytes) ? 0 : 1;
  }
  EXPECT_GT(refused, 0) << "the damage never reached what the stub reader checks";
}


std::string BuiltInstaller() {
  if (const char* path = std::getenv("SAVERKIT_INSTALLER_EXE")) return path;
  return SAVERKIT_WIN32_INSTALLER;
}

TEST(BuiltInstaller, PacksAndKeepsItsDialogsAndIcon) {
  const std::string path = BuiltInstaller();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is not built (run the win32 preset)";
  const StubImage stub = ReadStubImage(testsupport::ReadFileBytes(path));
  RequirePayloadResourceFirst(stub);
  const std::uint32_t checksumAt = stub.OptionalHeaderOffset() + kCheckSum;
  const std::uint32_t linkerChecksum = ReadLe32(&stub.bytes[checksumAt]);
  if (linkerChecksum != 0) {
    EXPECT_EQ(ComputePeChecksum(stub.bytes, checksumAt), linkerChecksum);
  }

  auto has = [&](std::uint16_t type, std::uint16_t id) {
    for (const ResourceItem& item : stub.resources)
      if (!item.type.IsNamed() && item.type.id == type && item.name.id == id) return true;
    return false;
  };
  for (std::uint16_t dialog : {103, 104, 106, 107}) EXPECT_TRUE(has(5, dialog)) << dialog;
  EXPECT_TRUE(has(14, 101));  // the icon's group

  PackRequest request = SampleRequest(1);
  request.publisher = "Example Ltd";
  request.version = "2.5";
  const PackResult result = PackInstaller(stub, request);
  testsupport::TempFolder folder;
  EXPECT_NO_THROW(VerifyPackedImage(folder.Write("setup.exe", result.image), stub, request));

  // windres wrote the stub's neutral VERSIONINFO and its identity; the
  // format reader reads both, and after packing the identity is unchanged
  // while the VERSIONINFO is the author's.
  MemoryImageSource stubSource(stub.bytes), packedSource(result.image);
  VersionInfoFields version;
  ASSERT_EQ(ReadImageVersionInfo(stubSource, &version), VersionInfoStatus::kRead);
  EXPECT_STREQ(version.text[kFileDescription], "Screen saver installer (not packed)");
  EXPECT_FALSE(version.present[kCompanyName]);
  char identity[kInstallerIdentitySize], packedIdentity[kInstallerIdentitySize];
  ASSERT_TRUE(ReadInstallerIdentity(stubSource, identity));
  EXPECT_EQ(std::string(identity), "Saverkit " SAVERKIT_VERSION);
  ASSERT_TRUE(ReadInstallerIdentity(packedSource, packedIdentity));
  EXPECT_STREQ(packedIdentity, identity);
  ASSERT_EQ(ReadImageVersionInfo(packedSource, &version), VersionInfoStatus::kRead);
  EXPECT_STREQ(version.text[kCompanyName], "Example Ltd");
  EXPECT_STREQ(version.text[kFileDescription], "Night Sky Setup");
  EXPECT_EQ(version.fileVersion[0] * 100 + version.fileVersion[1], 205);
}

struct Signed {
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> bytes;
  PeHeaderFields fields;
};

void FixChecksum(Signed& s) {
  WriteLe32(&s.bytes[s.fields.checksum], ComputePeChecksum(s.bytes, s.fields.checksum));
}

// `image` (an odd length, so that padding is needed) with a 40-byte
// certificate table behind it, laid out as Authenticode signers lay it out.
Signed MakeSigned() {
  Signed s;
  s.image = packtest::MakeStub();
  s.image.push_back(0x5A);
  EXPECT_TRUE(FindPeHeaderFields(s.image, &s.fields));
  s.bytes = s.image;
  s.bytes.resize((s.bytes.size() + 7) / 8 * 8, 0);
  const std::uint32_t tableAt = static_cast<std::uint32_t>(s.bytes.size());
  for (int i = 0; i < 40; ++i) s.bytes.push_back(static_cast<std::uint8_t>(0x30 + i));
  WriteLe32(&s.bytes[s.fields.securityDirectory], tableAt);
  WriteLe32(&s.bytes[s.fields.securityDirectory + 4], 40);
  FixChecksum(s);
  return s;
}

TEST(SignedLayout, AcceptsASignatureBehindTheImageAndNothingThatTouchesIt) {
  struct Case {
    const char* what;
    void (*damage)(Signed&);
    const char* problem;  // nullptr: accepted
  };
  const Case cases[] = {
      {"the signature as signers append it", [](Signed&) {}, nullptr},
      {"a byte of the image changed", [](Signed& s) { s.bytes[s.image.size() - 1] ^= 1; FixChecksum(s); },
       "changed byte"},
      {"the time stamp changed", [](Signed& s) { s.bytes[s.fields.timeDateStamp] ^= 1; FixChecksum(s); },
       "changed byte"},
      {"nothing appended", [](Signed& s) { s.bytes = s.image; }, "not longer"},
      {"table not on an 8-byte boundary",
       [](Signed& s) { WriteLe32(&s.bytes[s.fields.securityDirectory], static_cast<std::uint32_t>(s.image.size()));
                       FixChecksum(s); },
       "not the one block"},
      {"data behind the table",
       [](Signed& s) { s.bytes.push_back(0); FixChecksum(s); }, "not the one block"},
      {"padding not zero",
       [](Signed& s) { s.bytes[s.image.size()] = 0xFF; FixChecksum(s); }, "padding"},
      {"stale checksum", [](Signed& s) { s.bytes[s.fields.checksum] ^= 1; }, "checksum"},
  };
  for (const Case& c : cases) {
    Signed s = MakeSigned();
    c.damage(s);
    const std::string problem = SignedLayoutProblem(s.image, s.bytes);
    EXPECT_TRUE(c.problem ? problem.find(c.problem) != std::string::npos : problem.empty()) << c.what << ": " << problem;
  }
}

TEST(ImageTimeStamp, SetsTheFileHeaderTimeAndKeepsTheChecksumRight) {
  std::vector<std::uint8_t> image = packtest::MakeStub();
  const std::vector<std::uint8_t> before = image;
  PeHeaderFields fields;
  ASSERT_TRUE(FindPeHeaderFields(image, &fields));
  ASSERT_TRUE(StampImageTime(image, 1700000000u));
  EXPECT_EQ(ReadLe32(&image[fields.timeDateStamp]), 1700000000u);
  EXPECT_EQ(ReadLe32(&image[fields.checksum]), ComputePeChecksum(image, fields.checksum));
  for (std::size_t i = 0; i < image.size(); ++i) {
    if (i >= fields.timeDateStamp && i < fields.timeDateStamp + 4) continue;
    if (i >= fields.checksum && i < fields.checksum + 4) continue;
    ASSERT_EQ(image[i], before[i]) << "byte " << i;
  }

  std::vector<std::uint8_t> notAnImage(200, 0);
  EXPECT_FALSE(StampImageTime(notAnImage, 1));
  EXPECT_EQ(notAnImage, std::vector<std::uint8_t>(200, 0));
}

TEST(ImageTimeStamp, SourceDateEpochValues) {
  EXPECT_EQ(ParseSourceDateEpoch("0"), 0u);
  EXPECT_EQ(ParseSourceDateEpoch("1700000000"), 1700000000u);
  EXPECT_EQ(ParseSourceDateEpoch("4294967295"), 4294967295u);
  for (const char* bad : {"", "4294967296", "99999999999", "-1", "17e8", " 1", "1.5"})
    EXPECT_FALSE(ParseSourceDateEpoch(bad)) << bad;
}

}  // namespace
