// saverkit test and saverkit extract on images whose entries were packed
// with the project's encoder: verdicts per entry, bit-exact files under
// their installed names, refused names, no overwrite, no partial files.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "core/imagewriter/manifest_writer.h"
#include "sample_data.h"
#include "run_saverkit.h"
#include "temp_files.h"

using codec::CompressEntry;
using codec::CompressionLevel;
using samples::MakeExecutableLike;
using samples::MakeTextLike;
using samples::MakeWaveLike;

namespace pack = imagewriter;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

pack::EntryContents Compressed(const Bytes& data, CompressionLevel level) {
  pack::EntryContents entry;
  entry.stored = CompressEntry(data.data(), data.size(), level);
  entry.expandedSize = static_cast<std::uint32_t>(data.size());
  return entry;
}

struct Sample {
  Bytes saver = MakeExecutableLike(70000, 1);
  Bytes data = MakeTextLike(40000, 2);
  Bytes uninstaller = MakeExecutableLike(9000, 3);
  Bytes music = MakeWaveLike(30000, 4);
  pack::ManifestContents contents;

  Sample() {
    contents.title = "Deep Sea";
    contents.license = "Share it freely.\r\n";
    contents.numberBase = 23;
    pack::EntryContents stored;
    stored.stored = uninstaller;
    pack::EntryContents media = Compressed(music, CompressionLevel::kGreedy);
    media.name = ".MID";
    media.kind = 0;
    contents.entries = {Compressed(saver, CompressionLevel::kBest),
                    Compressed(data, CompressionLevel::kLazy), stored, media};
  }
};

TEST(TestCommand, ReportsEverySoundEntryAndSucceeds) {
  Sample sample;
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", pack::BuildInstallerImage(sample.contents));
  const auto run = Saverkit({"test", image});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("4 entries, 4 sound, 0 failed"), std::string::npos) << run.out;
}

TEST(TestCommand, FlagsDamagedEntriesAndNotesUnreadBytes) {
  struct Case {
    const char* name;
    void (*damage)(pack::EntryContents&);
    const char* expected;
    int exitStatus;
  };
  const Case cases[] = {
      {"stream cut short",
       [](pack::EntryContents& e) { e.stored.resize(e.stored.size() / 2); },
       "truncated", 1},
      // Decoding stops where the stored bytes end instead of making up
      // nearly 2 GiB from zero bits.
      {"a few stored bytes that declare nearly 2 GiB",
       [](pack::EntryContents& e) {
         e.stored.resize(6);
         e.expandedSize = 0x7FFFFF00u;
       },
       "truncated", 1},
      {"data beyond the end",
       [](pack::EntryContents& e) { e.dataOffset = 0x7FFFFF00u; },
       "data lies beyond the end of the file", 1},
      {"bytes behind the stream",
       [](pack::EntryContents& e) { e.stored.insert(e.stored.end(), 100, 0xA5); },
       "note: 100 stored bytes left unread", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sample sample;
    c.damage(sample.contents.entries[1]);
    testsupport::TempFolder folder;
    const std::string image = folder.Write("setup.exe", pack::BuildInstallerImage(sample.contents));
    const auto run = Saverkit({"test", image});
    EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
    EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
  }
}

TEST(ExtractCommand, WritesEveryFileBitExactUnderItsInstalledName) {
  Sample sample;
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", pack::BuildInstallerImage(sample.contents));
  const std::string out = folder.path() + "/out";
  const auto run = Saverkit({"extract", image, "-d", out, "--json"});
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["failed"], 0);

  EXPECT_EQ(testsupport::ReadFileBytes(out + "/Deep Sea.scr"), sample.saver);
  EXPECT_EQ(testsupport::ReadFileBytes(out + "/Deep Sea.DAT"), sample.data);
  EXPECT_EQ(testsupport::ReadFileBytes(out + "/UNINSTAL.EXE"), sample.uninstaller);
  EXPECT_EQ(testsupport::ReadFileBytes(out + "/JUKE0023.MID"), sample.music);
  const Bytes license = testsupport::ReadFileBytes(out + "/LICENSE.TXT");
  EXPECT_EQ(std::string(license.begin(), license.end()), sample.contents.license);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(out)) ++files;
  EXPECT_EQ(files, 5u);  // nothing temporary left behind
}

TEST(ExtractCommand, DefaultFolderIsTheTitleAndNothingIsOverwrittenWithoutForce) {
  Sample sample;
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", pack::BuildInstallerImage(sample.contents));
  const std::string saver = folder.path() + "/Deep Sea/Deep Sea.scr";
  fs::create_directories(folder.path() + "/Deep Sea");
  folder.Write("Deep Sea/Deep Sea.scr", std::string("keep me"));

  const std::vector<std::string> args = {"extract", image, "-d", folder.path() + "/Deep Sea"};
  auto run = Saverkit(args);
  EXPECT_NE(run.exitStatus, 0);
  EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
  Bytes kept = testsupport::ReadFileBytes(saver);
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "keep me");
  // The other entries were still written, the licence among them.
  EXPECT_EQ(testsupport::ReadFileBytes(folder.path() + "/Deep Sea/UNINSTAL.EXE"), sample.uninstaller);

  auto forced = args;
  forced.push_back("--force");
  run = Saverkit(forced);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(testsupport::ReadFileBytes(saver), sample.saver);
}

TEST(ExtractCommand, RefusesNamesThatCouldLeaveTheFolderAndLeavesNoPartialFile) {
  Sample sample;
  sample.contents.entries[3].name = "\\..\\..\\x.MID";  // media name with separators
  sample.contents.entries[1].stored.resize(sample.contents.entries[1].stored.size() / 3);  // truncated
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", pack::BuildInstallerImage(sample.contents));
  const std::string out = folder.path() + "/out";
  const auto run = Saverkit({"extract", image, "-d", out});
  EXPECT_NE(run.exitStatus, 0);
  EXPECT_NE(run.err.find("refused"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("truncated"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(out + "/Deep Sea.DAT"));
  EXPECT_FALSE(fs::exists(folder.path() + "/x.MID"));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(out)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Deep Sea.scr", "LICENSE.TXT", "UNINSTAL.EXE"}));
}

// Drive letters and backslashes mean nothing special on this system: they
// are parts of ordinary file names in the current folder.
TEST(ExtractCommand, WindowsLookingNamesAreOrdinaryHostPaths) {
  Sample sample;
  testsupport::TempFolder folder;
  folder.Write("C:demo.exe", pack::BuildInstallerImage(sample.contents));
  const auto list = testsupport::RunCommand({SAVERKIT_TOOL, "list", "C:demo.exe"}, folder.path());
  EXPECT_EQ(list.exitStatus, 0) << list.err;
  EXPECT_NE(list.out.find("Deep Sea.scr"), std::string::npos) << list.out;

  const auto run =
      testsupport::RunCommand({SAVERKIT_TOOL, "extract", "C:demo.exe", "-d", "C:\\out"}, folder.path());
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(testsupport::ReadFileBytes(folder.path() + "/C:\\out/UNINSTAL.EXE"), sample.uninstaller);
}

}  // namespace
