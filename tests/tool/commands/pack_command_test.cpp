// saverkit pack, run as the user runs it: the report, the JSON, --force,
// the refusals and their exit statuses, and no file left by a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "tool/reader/payload_image.h"
#include "run_saverkit.h"
#include "temp_files.h"

using reader::LoadPayloadImage;
using reader::PayloadImage;

namespace {

namespace fs = std::filesystem;

// The text report names every installed file; --kind, --number-base and
// --license reach the image; --store and --json give a report for scripts
// that adds up; a title is taken in the installer's code page. (The listing
// of a packed image is ListCommand's.)
TEST(PackCommand, PacksWithTheGivenOptionsAndReports) {
  PackInputs in;
  testsupport::CommandOutput run =
      Saverkit(in.Args({"--kind", "juk_", "--number-base", "23", "--license", in.license}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (const char* name : {"Night Sky.scr", "JUK_0023.MID", "JUK_0024.WAV", "Total"})
    EXPECT_NE(run.out.find(name), std::string::npos) << name << "\n" << run.out;
  const PayloadImage image = LoadPayloadImage(in.out);
  EXPECT_EQ(image.Title(), "Night Sky");
  EXPECT_EQ(image.licenseText, "Share it freely.\r\n");
  EXPECT_EQ(image.numberBase, 23);
  EXPECT_TRUE(format::IsCompressed(image.entries.at(0)));

  run = Saverkit(in.Args({"--store", "--json", "--force"}, "Caf\xC3\xA9 Noir"));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(LoadPayloadImage(in.out).Title(), "Caf\xE9 Noir");  // Windows-1252
  const nlohmann::json report = nlohmann::json::parse(run.out);
  ASSERT_EQ(report["entries"].size(), 5u);
  EXPECT_EQ(report["entries"][4]["path"], "MARLOWEN\\VELDRAKE\\Caf\xC3\xA9 Noir\\JUKE0002.WAV");
  for (const auto& entry : report["entries"]) {
    EXPECT_EQ(entry["compressed"], false);
    EXPECT_EQ(entry["stored_size"], entry["size"]);
  }
  EXPECT_EQ(report["total"]["size"], 20000 + 3000 + 7000 + 900 + 1500);
  EXPECT_EQ(report["image_size"], fs::file_size(in.out));
}

TEST(PackCommand, ReplacesAnExistingOutputOnlyWithForce) {
  PackInputs in;
  in.folder.Write("setup.exe", std::string("old"));
  testsupport::CommandOutput run = Saverkit(in.Args());
  EXPECT_TRUE(FailedWith(run, 2, "already exists"));
  EXPECT_EQ(fs::file_size(in.out), 3u);

  run = Saverkit(in.Args({"--force"}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  // --force never lets the output replace one of its inputs.
  std::vector<std::string> ontoStub = in.Args({"--force"});
  ontoStub[2] = in.stub;
  run = Saverkit(ontoStub);
  EXPECT_TRUE(FailedWith(run, 2, "is one of the inputs"));
  EXPECT_NO_THROW(LoadPayloadImage(in.out)) << "the image --force wrote is still whole";
}

// Without --stub and --uninstaller the tool takes what its own build made:
// beside itself (the win32 build), else in ../win32 (the host build).
TEST(PackCommand, FindsTheInstallerProgramOfItsOwnBuild) {
  PackInputs in;
  for (const char* layout : {"beside", "host and win32"}) {
    SCOPED_TRACE(layout);
    const bool beside = std::string(layout) == "beside";
    const fs::path root = fs::path(in.folder.path()) / (beside ? "one" : "two");
    const fs::path toolDir = beside ? root : root / "host";
    const fs::path programs = beside ? root : root / "win32";
    fs::create_directories(toolDir);
    fs::create_directories(programs);
    fs::copy_file(SAVERKIT_TOOL, toolDir / "saverkit");
    fs::permissions(toolDir / "saverkit", fs::perms::owner_exec, fs::perm_options::add);
    const std::string output = (root / "setup.exe").string();
    const std::vector<std::string> args = {(toolDir / "saverkit").string(), "pack", "-o", output, "--title", "Sky",
                                           "--saver", in.saver, "--data", in.data};

    // Each missing program is named; once both are there, the pack is made.
    for (const auto& [program, input] :
         {std::pair{"UNINSTAL.EXE", in.uninstaller}, {"installer.exe", in.stub}}) {
      EXPECT_TRUE(FailedWith(testsupport::RunCommand(args), 2, program));
      fs::copy_file(input, programs / program);
    }
    const testsupport::CommandOutput run = testsupport::RunCommand(args);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const PayloadImage image = LoadPayloadImage(output);
    EXPECT_EQ(image.entries.at(2).ExpandedSize, fs::file_size(in.uninstaller));
  }
}

TEST(PackCommand, FailuresExplainThemselvesAndWriteNothing) {
  PackInputs in;
  const std::string emptyFile = in.folder.Write("empty.dat", std::string());
  const std::string notAProgram = in.folder.Write("notes.txt", std::string("not a program"));
  const std::vector<std::string> before = NamesIn(in.folder.path());
  auto replace = [&](std::vector<std::string> args, const std::string& option, const std::string& value) {
    *(std::find(args.begin(), args.end(), option) + 1) = value;
    return args;
  };
  const struct {
    const char* label;
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {"missing saver", replace(in.Args(), "--saver", in.folder.path() + "/none.scr"), 2, "does not exist"},
      {"empty data file", replace(in.Args(), "--data", emptyFile), 2, "is empty"},
      {"stub not a program", replace(in.Args(), "--stub", notAProgram), 1, "cannot be the installer program"},
      // The packer's refusals (PackerTest) reach the user as usage errors.
      {"title with a colon", in.Args({}, "A:B"), 2, "cannot hold"},
      {"title outside the code page", in.Args({}, "Sky \xE2\x98\x85"), 2, "Windows-1252"},
      {"unknown kind", in.Args({"--kind", "jukebox"}), 2, "jukebox"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    testsupport::CommandOutput run = Saverkit(c.args);
    EXPECT_TRUE(FailedWith(run, c.status, c.message));
    EXPECT_FALSE(fs::exists(in.out));
  }
  EXPECT_EQ(NamesIn(in.folder.path()), before);
}

}  // namespace
