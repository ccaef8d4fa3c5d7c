// Two entries that the installer writes into one folder under names Windows
// takes for one (juke0001.DAT, the data file of the title "juke0001", and
// JUKE0001.DAT, media file number 1 with the name ".DAT"): on Windows the
// later one's bytes stay, under the name the file was first created with.
// saverkit extract leaves the same one file and says which entry lost; the
// installer in the stand-in leaves it too.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"

namespace {

using namespace installertest;

struct Clash {
  const char* title;
  const char* mediaName;  // entry 3's Name, after "JUKE0001"
  const char* dataFile;   // the name the file keeps: entry 1's
  const char* shownData;  // the report's spelling of the two names (UTF-8)
  const char* shownMedia;
};
const Clash kClashes[] = {
    {"juke0001", ".DAT", "juke0001.DAT", "juke0001.DAT", "JUKE0001.DAT"},
    {"juke0001\xE9\x9A\xFF", "\xC9\x8A\x9F.DAT", "juke0001\xE9\x9A\xFF.DAT", "juke0001éšÿ.DAT",
     "JUKE0001ÉŠŸ.DAT"},
};
const std::string kMediaBytes = SampleBytes(3000, 'm');

// Both clashing entries compressed: the losing one must still pass through
// the decoder for the winner to come out right.
imagewriter::ManifestContents ClashingImage(const Clash& clash) {
  imagewriter::ManifestContents manifest;
  manifest.title = clash.title;
  manifest.numberBase = 1;
  imagewriter::EntryContents media = Media(clash.mediaName, "");
  media.stored = Compressed(kMediaBytes).stored;
  media.expandedSize = static_cast<std::uint32_t>(kMediaBytes.size());
  manifest.entries = {Stored("saver"), Compressed(SampleBytes(2000, 'd')), Stored("uninstaller"), media};
  return manifest;
}

TEST(NameClash, ExtractWritesTheLaterBytesUnderTheEarlierNameAndReportsTheLoser) {
  for (const Clash& clash : kClashes) {
    SCOPED_TRACE(clash.title);
    testsupport::TempFolder folder;
    const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(ClashingImage(clash)));
    const std::string out = folder.path() + "/out";
    const auto run = Saverkit({"extract", image, "-d", out});
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"UNINSTAL.EXE", clash.dataFile, std::string(clash.title) + ".scr"}));
    EXPECT_TRUE(FileText(out + "/" + clash.dataFile) == kMediaBytes);
    const std::string loser = std::string(clash.shownData) + ": replaced: entry 3, " + clash.shownMedia +
                              ", has the same name on Windows and is written after it\n";
    const std::string winner = std::string(clash.shownMedia) + ": written, 3000 bytes (note: written as " +
                               clash.shownData + ", the spelling Windows keeps)\n";
    EXPECT_NE(run.out.find("\n" + loser), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n" + winner), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "saverkit: " + image + ": " + loser);
  }
}

TEST(NameClash, TheInstallerInTheStandInLeavesTheSameOneFile) {
  for (const Clash& clash : kClashes) {
    SCOPED_TRACE(clash.title);
    Machine machine;
    machine.Install(ClashingImage(clash), {"ok", "ok", "ok", "ok", "ok", "ok"});
    const std::string folder = machine.folder() + "/drive_c/WINDOWS/MARLOWEN/VELDRAKE/" + clash.title;
    EXPECT_EQ(NamesIn(folder), (std::vector<std::string>{"INSTALL.LOG", "UNINSTAL.EXE", clash.dataFile}));
    EXPECT_TRUE(FileText(folder + "/" + clash.dataFile) == kMediaBytes);
  }
}

}  // namespace
