// saverkit pack, run as the user runs it: the report, the JSON, --force,
// the refusals and their exit statuses, and no file left by a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "tool/reader/payload_image.h"
#include "stub_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"

using reader::LoadPayloadImage;
using reader::PayloadImage;

namespace {

namespace fs = std::filesystem;

struct Inputs {
  testsupport::TempFolder folder;
  std::string stub, saver, data, uninstaller, mid, wav, license, out;
  Inputs() {
    stub = folder.Write("installer.exe", packtest::MakeStub());
    saver = folder.Write("night.scr", packtest::TextLikeBytes(20000, 1));
    data = folder.Write("night.dat", packtest::NoiseBytes(3000, 2));
    uninstaller = folder.Write("UNINSTAL.EXE", packtest::TextLikeBytes(7000, 3));
    mid = folder.Write("melody.mid", packtest::TextLikeBytes(900, 4));
    wav = folder.Write("chime.wav", packtest::NoiseBytes(1500, 5));
    license = folder.Write("licence.txt", std::string("Share it freely.\r\n"));
    out = folder.path() + "/setup.exe";
  }
  std::vector<std::string> Args(const std::string& title = "Night Sky") const {
    return {"pack", "-o", out, "--title", title, "--saver", saver, "--data", data,
            "--uninstaller", uninstaller, "--stub", stub, "--media", mid, "--media", wav};
  }
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

std::vector<std::string> With(std::vector<std::string> args, std::initializer_list<std::string> more) {
  args.insert(args.end(), more);
  return args;
}

TEST(PackCommand, PacksAnInstallerThatListsAsPacked) {
  Inputs in;
  testsupport::CommandOutput run = Saverkit(
      With(in.Args(), {"--kind", "juk_", "--number-base", "23", "--license", in.license}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("Night Sky.scr"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("JUK_0023.MID"), std::string::npos);
  EXPECT_NE(run.out.find("JUK_0024.WAV"), std::string::npos);
  EXPECT_NE(run.out.find("Total"), std::string::npos);

  testsupport::CommandOutput list = Saverkit({"list", "--json", in.out});
  ASSERT_EQ(list.exitStatus, 0) << list.err;
  const nlohmann::json image = nlohmann::json::parse(list.out);
  EXPECT_EQ(image["title"], "Night Sky");
  EXPECT_EQ(image["license_length"], 18);
  EXPECT_EQ(image["number_base"], 23);
  ASSERT_EQ(image["entries"].size(), 5u);
  EXPECT_EQ(image["entries"][4]["path"], "MARLOWEN\\VELDRAKE\\Night Sky\\JUK_0024.WAV");
  EXPECT_EQ(image["entries"][0]["compressed"], true);
  EXPECT_EQ(image["entries"][4]["compressed"], false);  // noise stays stored
}

TEST(PackCommand, JsonReportForScripts) {
  Inputs in;
  testsupport::CommandOutput run = Saverkit(With(in.Args(), {"--store", "--json"}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const nlohmann::json report = nlohmann::json::parse(run.out);
  ASSERT_EQ(report["entries"].size(), 5u);
  std::uint64_t total = 0;
  for (const auto& entry : report["entries"]) {
    EXPECT_EQ(entry["compressed"], false);
    EXPECT_EQ(entry["stored_size"], entry["size"]);
    total += entry["size"].get<std::uint64_t>();
  }
  EXPECT_EQ(report["total"]["size"], total);
  EXPECT_EQ(report["total"]["size"], 20000 + 3000 + 7000 + 900 + 1500);
  EXPECT_EQ(report["image_size"], fs::file_size(in.out));
}

TEST(PackCommand, ReplacesAnExistingOutputOnlyWithForce) {
  Inputs in;
  in.folder.Write("setup.exe", std::string("old"));
  testsupport::CommandOutput run = Saverkit(in.Args());
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
  EXPECT_EQ(fs::file_size(in.out), 3u);

  run = Saverkit(With(in.Args(), {"--force"}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  // --force never lets the output replace one of its inputs.
  std::vector<std::string> ontoStub = With(in.Args(), {"--force"});
  ontoStub[2] = in.stub;
  run = Saverkit(ontoStub);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find("is one of the inputs"), std::string::npos) << run.err;
  const PayloadImage image = LoadPayloadImage(in.out);
}

TEST(PackCommand, TitlesAreTakenInTheInstallersCodePage) {
  Inputs in;
  ASSERT_EQ(Saverkit(in.Args("Caf\xC3\xA9 Noir")).exitStatus, 0);
  const PayloadImage image = LoadPayloadImage(in.out);
  EXPECT_EQ(image.Title(), "Caf\xE9 Noir");  // Windows-1252
}

// Without --stub and --uninstaller the tool takes what its own build made:
// beside itself (the win32 build), else in ../win32 (the host build).
TEST(PackCommand, FindsTheInstallerProgramOfItsOwnBuild) {
  Inputs in;
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

    testsupport::CommandOutput run = testsupport::RunCommand(args);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("UNINSTAL.EXE"), std::string::npos) << run.err;
    fs::copy_file(in.uninstaller, programs / "UNINSTAL.EXE");
    run = testsupport::RunCommand(args);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find("installer.exe"), std::string::npos) << run.err;
    fs::copy_file(in.stub, programs / "installer.exe");
    run = testsupport::RunCommand(args);
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const PayloadImage image = LoadPayloadImage(output);
    EXPECT_EQ(image.entries.at(2).ExpandedSize, fs::file_size(in.uninstaller));
  }
}

TEST(PackCommand, FailuresExplainThemselvesAndWriteNothing) {
  Inputs in;
  const std::string emptyFile = in.folder.Write("empty.dat", std::string());
  const std::string notAProgram = in.folder.Write("notes.txt", std::string("not a program"));
  const std::vector<std::string> before = in.Files();
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
      {"title with a colon", in.Args("A:B"), 2, "cannot hold"},
      {"title outside the code page", in.Args("Sky \xE2\x98\x85"), 2, "Windows-1252"},
      {"unknown kind", With(in.Args(), {"--kind", "jukebox"}), 2, "jukebox"},
      {"licence too long", With(in.Args(), {"--license", in.folder.Write("long.txt", std::string(65536, 'x'))}), 2,
       "65,535"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    testsupport::CommandOutput run = Saverkit(c.args);
    EXPECT_EQ(run.exitStatus, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_FALSE(fs::exists(in.out));
  }
  std::vector<std::string> after = in.Files();
  after.erase(std::remove(after.begin(), after.end(), "long.txt"), after.end());
  EXPECT_EQ(after, before);
}

}  // namespace
