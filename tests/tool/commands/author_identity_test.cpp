// The author's identity through pack and list (--publisher, --version,
// --url, --copyright, our own SAVERKIT identity kept), and the winget
// manifest of a packed image checked by winget's published schemas.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <nlohmann/json.hpp>

#include "core/format/exit_codes.h"
#include "handmade_sky_image.h"
#include "run_saverkit.h"
#include "temp_files.h"

namespace {

namespace fs = std::filesystem;

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
