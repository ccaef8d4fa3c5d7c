// Writing the output: checked under a temporary name, renamed into place,
// never replacing without leave, and nothing left behind on failure.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "tool/commands/output_file.h"
#include "temp_files.h"


namespace {

namespace fs = std::filesystem;

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

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
  EXPECT_EQ(FilesIn(folder.path()), std::vector<std::string>{"setup.exe"});
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
  EXPECT_EQ(FilesIn(folder.path()), std::vector<std::string>{"existing.exe"});
  EXPECT_EQ(testsupport::ReadFileBytes(existing), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
}

// (A destination that is a folder: OutputFaults.ADestinationThatIsAFolderOrANameTooLongIsNamed.)
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
  EXPECT_EQ(FilesIn(folder.path()), std::vector<std::string>{"setup.exe"});
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
  EXPECT_EQ(FilesIn(folder.path()).size(), nodes.size() + 1);  // no temporary file left
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
  EXPECT_EQ(FilesIn(moved), std::vector<std::string>{"JUKE0001.MID"});
  EXPECT_EQ(testsupport::ReadFileBytes(moved + "/JUKE0001.MID"), std::vector<std::uint8_t>({'m', 'i', 'd', 'i'}));
  EXPECT_TRUE(FilesIn(elsewhere).empty());
  EXPECT_TRUE(fs::is_symlink(opened));
}

}  // namespace
