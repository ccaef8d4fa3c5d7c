// What a signed image may differ in from the image it signs, and the time
// stamp a packed image can be given.
#include <gtest/gtest.h>

#include "tool/packer/authenticode_signing.h"
#include "tool/packer/image_time_stamp.h"
#include "core/imagewriter/pe_checksum.h"
#include "core/format/pe_header_fields.h"
#include "core/format/manifest_layout.h"
#include "stub_fixture.h"

using format::FindPeHeaderFields;
using format::PeHeaderFields;
using format::ReadLe32;
using format::WriteLe32;

using namespace imagewriter;
using namespace packer;

namespace {

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
