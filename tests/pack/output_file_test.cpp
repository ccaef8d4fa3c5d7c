// Writing the output: checked under a temporary name, renamed into place,
// never replacing without leave, and nothing left behind on failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "pack/output_file.h"
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
  pack::WriteCheckedFile(target, bytes, false, [&](const std::string& path) {
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
    EXPECT_THROW(pack::WriteCheckedFile(target, {7}, true,
                                        [](const std::string&) { throw std::runtime_error("bad"); }),
                 std::runtime_error);
  }
  EXPECT_EQ(FilesIn(folder.path()), std::vector<std::string>{"existing.exe"});
  EXPECT_EQ(testsupport::ReadFileBytes(existing), std::vector<std::uint8_t>({'k', 'e', 'e', 'p'}));
}

TEST(OutputFile, RefusesADirectoryOrAMissingFolder) {
  testsupport::TempFolder folder;
  EXPECT_THROW(pack::WriteCheckedFile(folder.path(), {1}, true, [](const std::string&) {}), pack::OutputFileError);
  EXPECT_THROW(pack::WriteCheckedFile(folder.path() + "/no/such/setup.exe", {1}, true, [](const std::string&) {}),
               pack::OutputFileError);
}

}  // namespace
