// Writing the output: the file checked under a temporary name, renamed
// into place, never replacing without leave, nothing left behind on
// failure; then extract and pack when the place they write to fails them
// (a full disk on a small tmpfs, a write failing halfway, a read-only file
// system, a destination that is a folder, a name too long): one line naming
// the real cause, a non-zero exit, no partial file, no existing file
// changed. Mounting needs root; without it those cases are skipped.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "sample_data.h"
#include "temp_files.h"
#include "tool/commands/output_file.h"

using samples::MakeExecutableLike;

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

TEST(OutputFile, TheCheckSeesTheWholeFileBeforeItIsRenamed) {
  testsupport::TempFolder folder;
  const std::string target = folder.path() + "/setup.exe";
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5};
  std::string checked;
  commands::WriteCheckedFile(target, bytes, false, [&](const std::string& path) {
    EXPECT_NE(path, target);
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(target).parent_path());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(testsupport::ReadFileBytes(path), bytes);
    checked = path;
  });
  EXPECT_FALSE(checked.empty());
  EXPECT_EQ(testsupport::ReadFileBytes(target), bytes);
  EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"setup.exe"});
}

TEST(OutputFile, AFailedCheckLeavesNothingBehind) {
  testsupport::TempFolder folder;
  const std::string fresh = folder.path() + "/fresh.exe";
  const std::string existing = folder.Write("existing.exe", std::string("keep"));
  for (const std::string& target : {fresh, existing}) {
    SCOPED_TRACE(target);
    EXPECT_THROW(commands::WriteCheckedFile(target, {7}, true,
                                        [](const std::string&) { throw std::runtime_error("bad"); }),
                 std::runtime_error);
  }
  EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"existing.exe"});
  EXPECT_EQ(testsupport::ReadFileBytes(existing), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
}

// (A destination that is a folder: OutputFaults, below.)
TEST(OutputFile, RefusesAMissingFolder) {
  testsupport::TempFolder folder;
  EXPECT_THROW(commands::WriteCheckedFile(folder.path() + "/no/such/setup.exe", {1}, true, [](const std::string&) {}),
               commands::OutputFileError);
}

// A link planted where a temporary file is to be made, pointing at an
// existing file or at nothing, is neither followed nor replaced.
TEST(OutputFile, TemporaryFilesNeverFollowALink) {
  testsupport::TempFolder folder;
  const commands::OutputFolder output(folder.path());
  const std::string victim = folder.Write("victim.txt", std::string("keep"));
  const std::string missing = folder.path() + "/made-through-the-link";
  for (const std::string& target : {victim, missing}) {
    SCOPED_TRACE(target);
    const std::string planted = ".setup.exe.0123456789abcdef.part";
    fs::remove(folder.path() + "/" + planted);
    fs::create_symlink(target, folder.path() + "/" + planted);
    EXPECT_EQ(output.CreateExclusive(planted), -1);
    EXPECT_EQ(errno, EEXIST);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(victim), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(fs::exists(missing));
}

// Temporary names differ from one file to the next and follow no pattern a
// process id would give away; a link at the destination is refused without
// leave and replaced (not followed) with it.
TEST(OutputFile, UnpredictableNamesAndLinkedDestinations) {
  testsupport::TempFolder folder;
  const std::string target = folder.path() + "/setup.exe";
  commands::OutputFile first(target, false);
  commands::OutputFile second(target, false);
  EXPECT_NE(first.TemporaryPath(), second.TemporaryPath());
  EXPECT_EQ(first.TemporaryPath().find(std::to_string(getpid())), std::string::npos);

  const std::string victim = folder.Write("victim.txt", std::string("keep"));
  const std::string linked = folder.path() + "/linked.exe";
  fs::create_symlink(victim, linked);
  EXPECT_THROW(commands::WriteCheckedFile(linked, {1, 2}, false, [](const std::string&) {}),
               commands::OutputFileError);
  commands::WriteCheckedFile(linked, {1, 2}, true, [](const std::string&) {});
  EXPECT_FALSE(fs::is_symlink(linked));
  EXPECT_EQ(testsupport::ReadFileBytes(linked), std::vector<std::uint8_t>({1, 2}));
  EXPECT_EQ(testsupport::ReadFileBytes(victim), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
}

// Without leave, a destination that appears while the file is written is
// kept, not replaced by the rename.
TEST(OutputFile, ADestinationThatAppearsMeanwhileIsKept) {
  testsupport::TempFolder folder;
  const std::string target = folder.path() + "/setup.exe";
  EXPECT_THROW(commands::WriteCheckedFile(target, {9}, false,
                                       [&](const std::string&) { folder.Write("setup.exe", std::string("first")); }),
               commands::OutputFileError);
  EXPECT_EQ(testsupport::ReadFileBytes(target), std::vector<std::uint8_t>({'f', 'i', 'r', 's', 't'}));
  EXPECT_EQ(NamesIn(folder.path()), std::vector<std::string>{"setup.exe"});
}

// --force replaces a regular file (or a link, as a link), never a device or
// a pipe: run as root, "pack -o /dev/null --force" must leave /dev/null be.
// Checked when the file is opened and again just before the rename.
TEST(OutputFile, ForceReplacesNothingButRegularFilesAndLinks) {
  testsupport::TempFolder folder;
  const std::string pipe = folder.path() + "/pipe.exe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::vector<std::string> nodes = {pipe};
  const std::string device = folder.path() + "/null.exe";
  if (mknod(device.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) nodes.push_back(device);  // needs root
  for (const std::string& node : nodes) {
    EXPECT_THROW(commands::WriteCheckedFile(node, {1}, true, [](const std::string&) {}), commands::OutputFileError)
        << node;
  }
  const std::string late = folder.path() + "/late.exe";
  EXPECT_THROW(commands::WriteCheckedFile(late, {1}, true,
                                          [&](const std::string&) { ASSERT_EQ(mkfifo(late.c_str(), 0600), 0); }),
               commands::OutputFileError);
  for (const std::string& node : nodes) EXPECT_FALSE(fs::is_regular_file(node)) << node;
  EXPECT_EQ(fs::status(late).type(), fs::file_type::fifo);
  EXPECT_EQ(NamesIn(folder.path()).size(), nodes.size() + 1);  // no temporary file left
}

// The folder is opened once: moved away after that and replaced by a link
// to another folder, it still receives every file, and the link's target
// nothing.
TEST(OutputFile, FilesLandInTheFolderOpenedEvenWhenItsPathIsSwapped) {
  testsupport::TempFolder folder;
  const std::string opened = folder.path() + "/out";
  const std::string moved = folder.path() + "/moved";
  const std::string elsewhere = folder.path() + "/elsewhere";
  fs::create_directories(opened);
  fs::create_directories(elsewhere);
  const commands::OutputFolder output(opened);
  ASSERT_TRUE(output.IsOpen());
  fs::rename(opened, moved);
  fs::create_directory_symlink(elsewhere, opened);
  for (bool replace : {false, true}) {
    commands::OutputFile file(output, "JUKE0001.MID", replace);
    ASSERT_TRUE(file.Write("midi", 4));
    file.Commit();
  }
  EXPECT_EQ(NamesIn(moved), std::vector<std::string>{"JUKE0001.MID"});
  EXPECT_EQ(testsupport::ReadFileBytes(moved + "/JUKE0001.MID"), std::vector<std::uint8_t>({'m', 'i', 'd', 'i'}));
  EXPECT_TRUE(NamesIn(elsewhere).empty());
  EXPECT_TRUE(fs::is_symlink(opened));
}

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
