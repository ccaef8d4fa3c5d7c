// saverkit pack, run as the user runs it: the report, the JSON, --force,
// the refusals and their exit statuses, and no file left by a failure; the
// author's identity through pack and list (--publisher, --version, --url,
// --copyright, our own SAVERKIT identity kept), and the winget manifest of
// a packed image checked by winget's published schemas.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "core/format/exit_codes.h"
#include "handmade_sky_image.h"
#include "run_saverkit.h"
#include "temp_files.h"
#include "tool/reader/payload_image.h"

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

nlohmann::json ListJson(const std::string& image) {
  const testsupport::CommandOutput run = Saverkit({"list", "--json", image});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  return nlohmann::json::parse(run.out);
}

TEST(AuthorIdentity, PackWritesItAndListShowsItBesideOurOwn) {
  PackInputs in;
  // "Café Ltd" and "© 2024 Ex" in UTF-8, as a Linux command line gives them.
  testsupport::CommandOutput run = Saverkit(in.Args({"--publisher", "Caf\xC3\xA9 Ltd", "--version", "1.2.3",
                                                     "--url", "https://example.com/sky", "--copyright",
                                                     "\xC2\xA9 2024 Ex"}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  nlohmann::json listed = ListJson(in.out);
  EXPECT_EQ(listed["publisher"], "Caf\xC3\xA9 Ltd");
  EXPECT_EQ(listed["version"], "1.2.3");
  EXPECT_EQ(listed["url"], "https://example.com/sky");
  EXPECT_EQ(listed["copyright"], "\xC2\xA9 2024 Ex");
  EXPECT_EQ(listed["version_info"], "read");
  EXPECT_EQ(listed["installer_program"], "Saverkit 9.8.7");  // the stub's, unchanged
  EXPECT_EQ(listed["signed"], false);
  run = Saverkit({"list", in.out});
  for (const char* line : {"Publisher:        Caf\xC3\xA9 Ltd\n", "Version:          1.2.3\n",
                           "Web page:         https://example.com/sky\n", "Installer:        Saverkit 9.8.7\n"})
    EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;

  // Without them only the title's two keys are written; an image packed
  // before any of this carries no VERSIONINFO and no identity.
  ASSERT_EQ(Saverkit(in.Args({"--force"})).exitStatus, 0);
  listed = ListJson(in.out);
  EXPECT_TRUE(listed["publisher"].is_null() && listed["version"].is_null() && listed["url"].is_null());
  EXPECT_EQ(listed["version_info"], "read");
  const std::string old = in.folder.Write("old.exe", skyimage::BuildHandmadeSkyImage());
  listed = ListJson(old);
  EXPECT_EQ(listed["version_info"], "absent");
  EXPECT_TRUE(listed["installer_program"].is_null());
  EXPECT_NE(Saverkit({"list", old}).out.find("Publisher:        -\n"), std::string::npos);
}

TEST(AuthorIdentity, BadValuesAreRefusedBeforeAnythingIsWritten) {
  PackInputs in;
  const std::string winget = in.folder.path() + "/winget";
  fs::create_directory(winget);
  const std::vector<std::string> good = {"--winget", winget, "--package-id", "Example.NightSky", "--installer-url",
                                         "https://example.com/setup.exe", "--publisher", "Example", "--version",
                                         "1.0"};
  const struct {
    std::vector<std::string> args;
    const char* message;
  } rows[] = {
      {{"--version", "1.2.3.4.5"}, "--version \"1.2.3.4.5\" is not 1 to 4 numbers"},
      {{"--url", "ftp://example.com/"}, "--url \"ftp://example.com/\" is not a web address"},
      {{"--publisher", "\xE4\xB8\x80"}, "--publisher holds letters"},
      {{"--package-id", "NightSky"}, "--package-id \"NightSky\" is not a winget identifier"},
      {{"--package-id", "Example.Night Sky"}, "is not a winget identifier"},
      {{"--installer-url", "setup.exe"}, "--installer-url must be"},
      {{"--publisher", "E"}, "--publisher of 2 to 256"},
      {{"--license-name", "MI"}, "--license-name must have 3"},
      {{"--winget", winget + "/missing"}, "folder does not exist"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> more = good;
    for (std::size_t i = 0; i < row.args.size(); i += 2) {
      const auto at = std::find(more.begin(), more.end(), row.args[i]);
      if (at == more.end()) {
        more.insert(more.end(), {row.args[i], row.args[i + 1]});
      } else {
        *(at + 1) = row.args[i + 1];
      }
    }
    const testsupport::CommandOutput run = Saverkit(in.Args(more));
    EXPECT_TRUE(FailedWith(run, 2, row.message)) << row.message;
    EXPECT_FALSE(fs::exists(in.out)) << row.message;
    EXPECT_TRUE(fs::is_empty(winget)) << row.message;
  }
  // A manifest file already there is replaced only with --force.
  in.folder.Write("winget/Example.NightSky.yaml", std::string("old"));
  EXPECT_TRUE(FailedWith(Saverkit(in.Args(good)), 2, "already exists"));
  EXPECT_FALSE(fs::exists(in.out));
  std::vector<std::string> forced = good;
  forced.push_back("--force");
  EXPECT_EQ(Saverkit(in.Args(forced)).exitStatus, 0);
  EXPECT_NE(FileText(winget + "/Example.NightSky.yaml"), "old");
}

// The three files validate against winget's schemas (python3 with
// jsonschema and yaml, tests/tool/commands/validate_winget.py), name the
// image's SHA-256 and map every exit code of format::ExitCode.
TEST(AuthorIdentity, WingetManifestValidatesAndMapsEveryExitCode) {
  PackInputs in;
  const std::string winget = in.folder.path() + "/manifests";
  fs::create_directory(winget);
  // A version such as 1.10 must stay text, not become the number 1.1.
  testsupport::CommandOutput run = Saverkit(in.Args({"--publisher", "Caf\xC3\xA9 \"Quoted\" Ltd", "--version", "1.10",
                                                     "--url", "https://example.com/", "--copyright", "(c) Ex",
                                                     "--winget", winget, "--package-id", "Cafe.NightSky",
                                                     "--installer-url", "https://example.com/NightSkySetup.exe"}));
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  run = testsupport::RunCommand(
      {"python3", SAVERKIT_WINGET_VALIDATOR, SAVERKIT_WINGET_SCHEMAS, winget, "Cafe.NightSky", in.out});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const nlohmann::json checked = nlohmann::json::parse(run.out);
  EXPECT_EQ(checked["locale"]["Publisher"], "Caf\xC3\xA9 \"Quoted\" Ltd");
  EXPECT_EQ(checked["locale"]["PackageVersion"], "1.10");
  EXPECT_EQ(checked["locale"]["License"], "Proprietary");
  EXPECT_EQ(checked["installer"]["InstallerSwitches"]["Silent"], "/S");
  EXPECT_EQ(checked["installer"]["InstallerSwitches"]["Log"], "/LOG=<LOGPATH>");
  EXPECT_EQ(checked["installer"]["Scope"], "machine");
  EXPECT_EQ(checked["installer"]["InstallerType"], "exe");

  // Every non-zero code once, in one list or the other; 0 in neither.
  std::map<int, std::string> mapped;
  for (const auto& code : checked["success"]) mapped[code.get<int>()] = "success";
  for (const auto& [code, response] : checked["expected"].items())
    EXPECT_TRUE(mapped.emplace(std::stoi(code), response.get<std::string>()).second) << code;
  const std::map<int, std::string> expected = {{format::kExitShortWrite, "diskFull"},
                                               {format::kExitCancelled, "cancelledByUser"},
                                               {format::kExitDiskSpace, "diskFull"},
                                               {format::kExitFilesFailed, "fileInUse"},
                                               {format::kExitDamaged, "contactSupport"},
                                               {format::kExitMediaUnplayable, "success"},
                                               {format::kExitBadArguments, "invalidParameter"},
                                               {format::kExitElevationRefused, "cancelledByUser"}};
  EXPECT_EQ(mapped, expected);
}

}  // namespace
