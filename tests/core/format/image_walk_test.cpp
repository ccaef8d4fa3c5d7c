// The walk from an image file to its first resource.
#include <gtest/gtest.h>

#include "tool/reader/image_file.h"
#include "core/imagewriter/manifest_writer.h"
#include "core/imagewriter/pe_image_writer.h"
#include "core/format/image_walk.h"
#include "temp_files.h"
#include "handmade_sky_image.h"

using namespace format;
using reader::ImageFile;

namespace {

using imagewriter::ResourceItem;
using imagewriter::ResourceKey;

std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> b) { return b; }

// The manifest's offset as the walk finds it in a file of these bytes, or -1.
long WalkPosition(const std::vector<std::uint8_t>& image, ManifestWalkInfo* info = nullptr) {
  ManifestWalkInfo local;
  if (!info) info = &local;
  testsupport::TempFolder folder;
  ImageFile file;
  file.Open(folder.Write("image.exe", image));
  if (WalkToManifest(file, info) != ManifestWalkError::kNone) return -1;
  return static_cast<long>(info->manifestOffset);
}

// The 4 bytes at the walk's position: which resource it found.
std::vector<std::uint8_t> FoundData(const std::vector<std::uint8_t>& image) {
  const long at = WalkPosition(image);
  if (at < 0 || static_cast<std::size_t>(at) + 4 > image.size()) return {};
  return std::vector<std::uint8_t>(image.begin() + at, image.begin() + at + 4);
}

ResourceItem Item(ResourceKey type, ResourceKey name, std::uint16_t language,
                  std::vector<std::uint8_t> data) {
  return ResourceItem{std::move(type), std::move(name), language, std::move(data), false};
}

std::vector<std::uint8_t> ImageWith(std::vector<ResourceItem> resources) {
  imagewriter::PeImageLayout contents;
  contents.sectionsBefore.push_back({".text", {0xC3}, 0x60000020});
  contents.resources = std::move(resources);
  return imagewriter::WritePeImage(contents).bytes;
}

TEST(ImageWalk, TakesTheFirstEntryAtEveryLevel) {
  const ResourceKey lastres = ResourceKey::Named("LASTRES");
  struct Case {
    const char* what;
    std::vector<ResourceItem> resources;
    std::vector<std::uint8_t> expected;
  };
  const std::vector<Case> cases = {
      {"a named type comes before numbered ones",
       {Item(ResourceKey::Number(3), ResourceKey::Number(1), 1033, Bytes({1, 1, 1, 1})),
        Item(lastres, ResourceKey::Number(1000), 1033, Bytes({7, 7, 7, 7}))},
       Bytes({7, 7, 7, 7})},
      {"a named type sorting before LASTRES wins",
       {Item(lastres, ResourceKey::Number(1000), 1033, Bytes({7, 7, 7, 7})),
        Item(ResourceKey::Named("AAAA"), ResourceKey::Number(5), 1033, Bytes({2, 2, 2, 2}))},
       Bytes({2, 2, 2, 2})},
      {"without named types the lowest type id wins",
       {Item(ResourceKey::Number(14), ResourceKey::Number(1), 1033, Bytes({1, 4, 1, 4})),
        Item(ResourceKey::Number(5), ResourceKey::Number(103), 1033, Bytes({5, 5, 5, 5}))},
       Bytes({5, 5, 5, 5})},
      {"the lowest name id of a type",
       {Item(lastres, ResourceKey::Number(1000), 1033, Bytes({1, 0, 0, 0})),
        Item(lastres, ResourceKey::Number(999), 1033, Bytes({9, 9, 9, 0}))},
       Bytes({9, 9, 9, 0})},
      {"a named name before numbered names",
       {Item(lastres, ResourceKey::Number(1), 1033, Bytes({1, 0, 0, 0})),
        Item(lastres, ResourceKey::Named("ZED"), 1033, Bytes({2, 0, 0, 0}))},
       Bytes({2, 0, 0, 0})},
      {"the lowest language of a name",
       {Item(lastres, ResourceKey::Number(1000), 1033, Bytes({4, 0, 9, 0})),
        Item(lastres, ResourceKey::Number(1000), 1031, Bytes({4, 0, 7, 0})),
        Item(lastres, ResourceKey::Number(1000), 2057, Bytes({8, 0, 5, 7}))},
       Bytes({4, 0, 7, 0})},
  };
  for (const Case& c : cases) EXPECT_EQ(FoundData(ImageWith(c.resources)), c.expected) << c.what;
}

TEST(ImageWalk, FindsTheResourceSectionInAnyPosition) {
  for (int before = 0; before <= 3; ++before) {
    imagewriter::PeImageLayout contents;
    for (int i = 0; i < before; ++i) contents.sectionsBefore.push_back({".s" + std::to_string(i), {1, 2, 3}});
    for (int i = before; i < 3; ++i) contents.sectionsAfter.push_back({".t" + std::to_string(i), {4, 5, 6}});
    contents.resources = {Item(ResourceKey::Named("LASTRES"), ResourceKey::Number(1000), 1033, Bytes({6, 6, 6, 6}))};
    EXPECT_EQ(FoundData(imagewriter::WritePeImage(contents).bytes), Bytes({6, 6, 6, 6})) << before << " sections before";
  }
}

TEST(ImageWalk, SectionNameMustBeExactlyRsrc) {
  for (const char* name : {".RSRC", ".rsrc2", "rsrc", ".rsr"}) {
    imagewriter::PeImageLayout contents;
    contents.resourceSectionName = name;
    contents.resources = {Item(ResourceKey::Named("LASTRES"), ResourceKey::Number(1000), 1033, Bytes({1, 2, 3, 4}))};
    ManifestWalkInfo info;
    EXPECT_EQ(WalkPosition(imagewriter::WritePeImage(contents).bytes, &info), -1) << name;
    EXPECT_EQ(info.error, ManifestWalkError::kNoResourceSection) << name;
  }
}

// The hand-made image declares 4 bytes for its manifest resource; the walk
// lands on it whatever the declared size.
TEST(ImageWalk, HandmadeSkyImageLandsOnTheManifestWhateverItsDeclaredSize) {
  std::vector<std::uint8_t> image = skyimage::BuildHandmadeSkyImage();
  for (std::uint32_t declared : {4u, 0u, 376u, 0xFFFFFFFFu}) {
    WriteLe32(&image[0xD150 + 4], declared);
    ManifestWalkInfo info;
    EXPECT_EQ(WalkPosition(image, &info), 0xDCF0) << declared;
    EXPECT_EQ(info.resourceBase, 0xD000u);
    EXPECT_EQ(info.resourceVirtualAddress, 0x18000u);
  }
}

TEST(ImageWalk, ImageCutShortAnywhereStopsTheWalk) {
  // One resource: the root, name and language directories of 24 bytes each
  // put its data entry at ResourceBase + 72, and the walk's last read is the
  // entry's 4-byte RVA. Every shorter file must fail; that one must not.
  const std::vector<std::uint8_t> full = imagewriter::BuildInstallerImage({});
  ManifestWalkInfo info;
  ASSERT_GT(WalkPosition(full, &info), 0);
  const std::uint32_t walkEnd = info.resourceBase + 72 + 4;
  EXPECT_GT(WalkPosition({full.begin(), full.begin() + walkEnd}), 0);
  for (std::uint32_t size = 0; size < walkEnd; ++size) {
    EXPECT_EQ(WalkPosition({full.begin(), full.begin() + size}, &info), -1) << size;
    EXPECT_EQ(info.error, ManifestWalkError::kCutShort) << size;
  }
}

}  // namespace
