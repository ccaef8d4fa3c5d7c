// The decoder's ring carries from one compressed entry to the next: the 30
// positions behind the preset keep what the last decoded entry left there.
// An entry the installer refuses (here a media name that would leave its
// folder) is never decoded, so it leaves the ring alone; the tool must skip
// it the same way, or the next entry comes out differently.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"



namespace {

using namespace installertest;

// Entry 1 leaves its first 30 bytes in the ring's tail; entry 3 would leave
// others, but its name is refused; entry 4 is one 30-byte match at the
// farthest offset, which copies the tail whole.
imagewriter::ManifestContents ImageReadingTheTail(std::string* tail) {
  const std::string data = "0123456789abcdefghijklmnopqrst and the rest of the data file";
  *tail = data.substr(0, 30);
  imagewriter::ManifestContents manifest;
  manifest.title = "Ring";
  manifest.numberBase = 23;
  imagewriter::EntryContents refused = Compressed("ZYXWVUTSRQPONMLKJIHGFEDCBA9876 refused");
  refused.name = "\\..\\EVIL.MID";
  refused.kind = 0;
  imagewriter::EntryContents fromTail = RingTailEntry();
  fromTail.kind = 0;
  manifest.entries = {Stored("saver"), Compressed(data), Stored("uninstaller"), refused, fromTail};
  return manifest;
}

TEST(RingAfterRefusedEntry, ToolWritesWhatTheInstallerWrites) {
  std::string tail;
  const imagewriter::ManifestContents manifest = ImageReadingTheTail(&tail);
  Machine machine;
  machine.Install(manifest, {"ok", "ok", "ok", "ok", "ok", "ok"});
  const std::string installed = machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Ring\\JUKE0024.MID");
  EXPECT_EQ(installed, tail);

  testsupport::TempFolder folder;
  const std::string image = folder.Write("ring.exe", imagewriter::BuildInstallerImage(manifest));
  const std::string out = folder.path() + "/out";
  const auto run = Saverkit({"extract", image, "-d", out});
  EXPECT_EQ(run.exitStatus, 1) << "the refused entry is a failure";
  EXPECT_NE(run.out.find("refused"), std::string::npos) << run.out;
  EXPECT_EQ(FileText(out + "/JUKE0024.MID"), tail) << run.out << run.err;
}

}  // namespace
