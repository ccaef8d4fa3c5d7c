// How entries are named when installed: the edges of media names and
// paths, and which names are safe. The usual destinations are pinned by the
// installer's transcripts and the tool's listings.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/format/install_names.h"
#include "core/format/title_rule.h"

using namespace format;

namespace {

// An entry whose 15-byte name field starts with `name` (NULs included) and
// is padded with blanks.
PayloadEntry Media(const std::string& name, std::uint8_t kind) {
  PayloadEntry entry{};
  std::memset(entry.Name, ' ', sizeof entry.Name);
  std::memcpy(entry.Name, name.data(), std::min(name.size(), sizeof entry.Name));
  entry.Kind = kind;
  return entry;
}

std::string Path(const char* winDir, const char* title, std::uint32_t position,
                 const PayloadEntry& entry = PayloadEntry{}, std::uint16_t numberBase = 0,
                 std::size_t size = kPathBufferSize) {
  char out[512];
  if (!BuildInstalledPath(out, size, winDir, title, position, entry, numberBase)) return "(too long)";
  return out;
}

TEST(InstallNames, MediaNamesByKindNumberAndName) {
  struct Case {
    PayloadEntry entry;
    std::uint32_t position;
    std::uint16_t numberBase;
    const char* expected;
  };
  const Case cases[] = {
      {Media(".MID", 0x5F), 3, 23, "JUK_0023.MID"},
      {Media(".MID", 0x00), 3, 23, "JUKE0023.MID"},
      {Media(".MID", 0x20), 3, 23, "FILE0023.MID"},
      {Media(".MID", 0xFF), 3, 23, "FILE0023.MID"},
      {Media(".WAV", 0), 3, 9998, "JUKE9998.WAV"},
      {Media(".WAV", 0), 4, 9998, "JUKE9999.WAV"},
      {Media(".WAV", 0), 5, 9998, "JUKE10000.WAV"},
      {Media(".WAV", 0), 3, 0, "JUKE0000.WAV"},
      {Media(".WAV", 0), 3, 65535, "JUKE65535.WAV"},
      {Media("ABCDEFGHIJKLMNO", 0), 3, 1, "JUKE0001ABCDEFGHIJKLMNO"},  // 15 bytes, no NUL
      {Media(" a b .M P", 0), 3, 1, "JUKE0001 a b .M P"},              // inner blanks stay
      {Media("               ", 0), 3, 7, "JUKE0007"},                  // only blanks
      {Media(std::string(".MI\0XYZ", 7), 0), 3, 1, "JUKE0001.MI"},       // ends at a NUL
  };
  for (const Case& c : cases) {
    char out[64];
    ASSERT_TRUE(BuildMediaFileName(out, sizeof out, c.entry, c.position, c.numberBase));
    EXPECT_STREQ(out, c.expected);
  }
}

TEST(InstallNames, PathsThatDoNotFitAreRefused) {
  const std::string title(230, 't');
  // "C:\WINDOWS\" (11) + title + ".scr" (4) = 245 fits in 259.
  EXPECT_EQ(Path("C:\\WINDOWS\\", title.c_str(), 0).size(), 245u);
  EXPECT_EQ(Path("C:\\WINDOWS\\", title.c_str(), 1), "(too long)");
  EXPECT_EQ(Path("C:\\WINDOWS\\", "Sky", 0, {}, 0, 17), "(too long)");
  EXPECT_EQ(Path("C:\\WINDOWS\\", "Sky", 0, {}, 0, 19), "C:\\WINDOWS\\Sky.scr");
}

TEST(InstallNames, SafeFileNames) {
  for (const char* good : {"JUKE0023.MID", "a b.txt", "Sky.scr", "CONSOLE.TXT", "COM0.MID", "x..y",
                           "CONIN", "COM\xB4.MID", "LPT\xB9\xB9"})
    EXPECT_TRUE(IsSafeFileName(good)) << good;
  for (const char* bad : {"", ".", "..", "a\\b", "a/b", "C:x", "a:stream", "name.", "name ", "CON",
                          "con.txt", "NUL.MID", "COM1", "lpt9.wav", "AUX .x", "tab\there", "q?", "star*",
                          "CONIN$", "conout$.txt", "COM\xB9", "com\xB2.mid", "LPT\xB3 .x"})
    EXPECT_FALSE(IsSafeFileName(bad)) << bad;
}

// The faults the packer's messages and the installer's refusals do not
// already pin.
TEST(TitleRule, RefusesWhatWouldLandElsewhereOrBeRenamed) {
  const struct {
    const char* title;
    TitleFault fault;
  } cases[] = {
      {"CONSOLE", TitleFault::kNone},           {"A\\B", TitleFault::kReservedCharacter},
      {"..", TitleFault::kOnlyDotsAndBlanks},   {". .", TitleFault::kOnlyDotsAndBlanks},
      {"CONOUT$", TitleFault::kDeviceName},     {"lpt\xB2.x", TitleFault::kDeviceName},
  };
  for (const auto& c : cases) EXPECT_EQ(CheckTitle(c.title), c.fault) << c.title;
}

}  // namespace
