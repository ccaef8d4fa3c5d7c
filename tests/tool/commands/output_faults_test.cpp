// saverkit extract and pack when the place they write to fails them: a
// full disk (a small tmpfs), a write that fails halfway through a file, a
// read-only file system, a destination that is a folder, a name too long.
// Each ends with one line naming the real cause, a non-zero exit, no
// partial file and no existing file changed. Mounting needs root; without
// it those cases are skipped.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "installer_fixture.h"
#include "sample_data.h"
#include "run_saverkit.h"
#include "temp_files.h"

using samples::MakeExecutableLike;


namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// A tmpfs of `size` ("16k") mounted on a fresh folder, read-only when asked;
// unmounted at the end.
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& folder, const char* size, bool readOnly) : path_(folder) {
    fs::create_directories(path_);
    const std::string options = std::string("size=") + size + ",mode=0755";
    mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

Bytes ImageOf(std::size_t saverSize) {
  imagewriter::ManifestContents contents;
  contents.title = "Lantern";
  contents.license = "Share it.";
  const Bytes saver = MakeExecutableLike(saverSize, 3);
  contents.entries = {installertest::Compressed(std::string(saver.begin(), saver.end())),
                      installertest::Stored(std::string(100, 0x22)),
                      installertest::Stored(std::string(200, 0x33))};
  return imagewriter::BuildInstallerImage(contents);
}

TEST(OutputFaults, ExtractRefusesATotalTheDiskCannotHold) {
  testsupport::TempFolder folder;
  SmallFileSystem disk(folder.path() + "/disk", "16k", false);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  const std::string image = folder.Write("setup.exe", ImageOf(200000));
  const auto run = Saverkit({"extract", image, "-d", disk.path() + "/out"});
  EXPECT_TRUE(FailedWith(run, 1, "no room for the 200309 bytes the image installs"));
  EXPECT_TRUE(NamesIn(disk.path() + "/out").empty());
}

// The free-space checks pass, and then the disk gives out in the middle of
// a file (another program filled it): a file size limit makes the write
// fail there with EFBIG, deterministically and without root.
TEST(OutputFaults, AWriteFailingHalfwayLeavesNoPartialFileAndTheOldOneWhole) {
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", ImageOf(200000));
  const std::string out = folder.path() + "/out";
  fs::create_directories(out);
  std::ofstream(out + "/Lantern.scr") << "old";
  // The limit ends the program with SIGXFSZ unless the signal is ignored;
  // an ignored signal stays ignored across exec.
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  const auto run = testsupport::RunCommand(
      {"prlimit", "--fsize=65536", SAVERKIT_TOOL, "extract", image, "-d", out, "--force"});
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "saverkit: " + image + ": Lantern.scr: write failed: File too large\n");
  EXPECT_EQ(FileText(out + "/Lantern.scr"), "old");
  EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"LICENSE.TXT", "Lantern.DAT", "Lantern.scr", "UNINSTAL.EXE"}));
}

TEST(OutputFaults, ExtractOntoAReadOnlyFileSystemNamesTheCause) {
  testsupport::TempFolder folder;
  SmallFileSystem disk(folder.path() + "/disk", "64k", true);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  const std::string image = folder.Write("setup.exe", ImageOf(1000));
  auto run = Saverkit({"extract", image, "-d", disk.path()});
  EXPECT_EQ(run.exitStatus, 1);  // one line for each file
  EXPECT_NE(run.err.find("Lantern.scr: cannot create a file in its folder: Read-only file system"),
            std::string::npos)
      << run.err;
  run = Saverkit({"extract", image, "-d", disk.path() + "/new"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "saverkit: " + disk.path() + "/new: cannot create the output folder: Read-only file system\n");
}

TEST(OutputFaults, PackOntoAFullDiskLeavesTheOldImageWhole) {
  testsupport::TempFolder folder;
  SmallFileSystem disk(folder.path() + "/disk", "16k", false);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  const std::string old(12000, 'o');
  const std::string out = disk.path() + "/setup.exe";
  std::ofstream(out, std::ios::binary) << old;
  const PackInputs in;
  std::vector<std::string> args = in.Args({"--force"});
  args[2] = out;
  const auto run = Saverkit(args);
  EXPECT_TRUE(FailedWith(run, 1, "No space left on device"));
  EXPECT_EQ(NamesIn(disk.path()), std::vector<std::string>{"setup.exe"});
  EXPECT_EQ(FileText(out), old);
}

TEST(OutputFaults, ADestinationThatIsAFolderOrANameTooLongIsNamed) {
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", ImageOf(1000));
  const std::string out = folder.path() + "/out";
  fs::create_directories(out + "/Lantern.scr");
  auto run = Saverkit({"extract", image, "-d", out, "--force"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "saverkit: " + image + ": Lantern.scr: is a directory\n");
  EXPECT_TRUE(fs::is_directory(out + "/Lantern.scr"));
  EXPECT_EQ(NamesIn(out), (std::vector<std::string>{"LICENSE.TXT", "Lantern.DAT", "Lantern.scr", "UNINSTAL.EXE"}));

  const std::string tooLong = folder.path() + "/" + std::string(300, 'n');
  run = Saverkit({"extract", image, "-d", tooLong});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "saverkit: " + tooLong + ": cannot create the output folder: File name too long\n");
}

}  // namespace
