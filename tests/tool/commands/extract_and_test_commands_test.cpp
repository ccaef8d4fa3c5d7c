// saverkit extract on images whose entries were packed with the project's
// encoder: bit-exact files under their installed names, refused names, no
// overwrite, no partial files. (saverkit test's verdicts are HostileImage's.)
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


namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

imagewriter::EntryContents Compressed(const Bytes& data, CompressionLevel level) {
  imagewriter::EntryContents entry;
  entry.stored = CompressEntry(data.data(), data.size(), level);
  entry.expandedSize = static_cast<std::uint32_t>(data.size());
  return entry;
}

struct Sample {
  Bytes saver = MakeExecutableLike(70000, 1);
  Bytes data = MakeTextLike(40000, 2);
  Bytes uninstaller = MakeExecutableLike(9000, 3);
  Bytes music = MakeWaveLike(30000, 4);
  imagewriter::ManifestContents contents;

  Sample() {
    contents.title = "Deep Sea";
    contents.license = "Share it freely.\r\n";
    contents.numberBase = 23;
    imagewriter::EntryContents stored;
    stored.stored = uninstaller;
    imagewriter::EntryContents media = Compressed(music, CompressionLevel::kGreedy);
    media.name = ".MID";
    media.kind = 0;
    contents.entries = {Compressed(saver, CompressionLevel::kBest),
                    Compressed(data, CompressionLevel::kLazy), stored, media};
  }
};

// A folder name that is not UTF-8 does not stop the JSON report.
TEST(ExtractCommand, WritesEveryFileBitExactUnderItsInstalledName) {
  Sample sample;
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(sample.contents));
  const std::string out = folder.path() + "/out\xff\xfe";
  const auto run = Saverkit({"extract", image, "-d", out, "--json"});
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["failed"], 0);

  EXPECT_EQ(testsupport::ReadFileBytes(out + "/Deep Sea.scr"), sample.saver);
  EXPECT_EQ(testsupport::ReadFileBytes(out + "/Deep Sea.DAT"), sample.data);
  EXPECT_EQ(testsupport::ReadFileBytes(out + "/UNINSTAL.EXE"), sample.uninstaller);
  EXPECT_EQ(testsupport::ReadFileBytes(out + "/JUKE0023.MID"), sample.music);
  EXPECT_EQ(FileText(out + "/LICENSE.TXT"), sample.contents.license);
  EXPECT_EQ(NamesIn(out).size(), 5u);  // nothing temporary left behind
}

TEST(ExtractCommand, DefaultFolderIsTheTitleAndNothingIsOverwrittenWithoutForce) {
  Sample sample;
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(sample.contents));
  const std::string saver = folder.path() + "/Deep Sea/Deep Sea.scr";
  fs::create_directories(folder.path() + "/Deep Sea");
  folder.Write("Deep Sea/Deep Sea.scr", std::string("keep me"));

  // No -d: the folder is the title, in the current folder.
  std::vector<std::string> args = {SAVERKIT_TOOL, "extract", image};
  auto run = testsupport::RunCommand(args, folder.path());
  EXPECT_TRUE(FailedWith(run, 1, "--force"));
  EXPECT_EQ(FileText(saver), "keep me");
  // The other entries were still written, the licence among them.
  EXPECT_EQ(testsupport::ReadFileBytes(folder.path() + "/Deep Sea/UNINSTAL.EXE"), sample.uninstaller);

  args.push_back("--force");
  run = testsupport::RunCommand(args, folder.path());
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(testsupport::ReadFileBytes(saver), sample.saver);
}

// (Names that could leave the folder are HostileImage's "media name with ..".)
TEST(ExtractCommand, ATruncatedEntryLeavesNoFileAndTheOthersAreWritten) {
  Sample sample;
  sample.contents.entries[1].stored.resize(sample.contents.entries[1].stored.size() / 3);
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(sample.contents));
  const std::string out = folder.path() + "/out";
  EXPECT_TRUE(FailedWith(Saverkit({"extract", image, "-d", out}), 1, "Deep Sea.DAT: truncated"));
  EXPECT_EQ(NamesIn(out),
            (std::vector<std::string>{"Deep Sea.scr", "JUKE0023.MID", "LICENSE.TXT", "UNINSTAL.EXE"}));
}

// Drive letters and backslashes mean nothing special on this system: they
// are parts of ordinary file names in the current folder.
TEST(ExtractCommand, WindowsLookingNamesAreOrdinaryHostPaths) {
  Sample sample;
  testsupport::TempFolder folder;
  folder.Write("C:demo.exe", imagewriter::BuildInstallerImage(sample.contents));
  const auto run =
      testsupport::RunCommand({SAVERKIT_TOOL, "extract", "C:demo.exe", "-d", "C:\\out"}, folder.path());
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(testsupport::ReadFileBytes(folder.path() + "/C:\\out/UNINSTAL.EXE"), sample.uninstaller);
}

}  // namespace
