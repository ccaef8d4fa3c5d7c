// saverkit list: text, JSON and errors, run as the user runs it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/imagewriter/manifest_writer.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"
#include "handmade_sky_image.h"


namespace {

using installertest::Media;
using installertest::Stored;

imagewriter::ManifestContents SampleManifest() {
  imagewriter::ManifestContents contents;
  contents.license = "You may share this screen saver.";
  contents.title = "Night Sky  ";  // trailing blanks are not part of the title
  contents.numberBase = 9999;
  contents.entries = {Stored(std::string(1200, 0x11)), Stored(std::string(40, 0x22)),
                      Stored(std::string(300, 0x33)), Media(".MID", std::string(10, 0x44), 0x5F),
                      Media(".WAV", std::string(20, 0x55))};
  contents.entries[1].expandedSize = 5000;  // counted as compressed for the listing
  return contents;
}

TEST(ListCommand, JsonDescribesEveryEntry) {
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(SampleManifest()));
  testsupport::CommandOutput run = Saverkit({"list", image, "--json"});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  const nlohmann::json out = nlohmann::json::parse(run.out);
  EXPECT_EQ(out["title"], "Night Sky");
  EXPECT_EQ(out["license_length"], 32);
  EXPECT_EQ(out["number_base"], 9999);
  EXPECT_EQ(out["install_total_bytes"], 1200 + 5000 + 300 + 10 + 20);
  ASSERT_EQ(out["entries"].size(), 5u);
  const char* roles[] = {"screen saver", "data file", "uninstaller", "media", "media"};
  const char* paths[] = {"Night Sky.scr", "MARLOWEN\\VELDRAKE\\Night Sky\\Night Sky.DAT",
                         "MARLOWEN\\VELDRAKE\\Night Sky\\UNINSTAL.EXE",
                         "MARLOWEN\\VELDRAKE\\Night Sky\\JUK_9999.MID",
                         "MARLOWEN\\VELDRAKE\\Night Sky\\JUKE10000.WAV"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(out["entries"][i]["position"], i);
    EXPECT_EQ(out["entries"][i]["role"], roles[i]);
    EXPECT_EQ(out["entries"][i]["path"], paths[i]);
    EXPECT_EQ(out["entries"][i]["compressed"], i == 1);
  }
  EXPECT_EQ(out["entries"][3]["kind"], 0x5F);
  EXPECT_EQ(out["entries"][1]["expanded_size"], 5000);
  EXPECT_EQ(out["entries"][1]["stored_size"], 40);
  // Entry data follows the manifest, one entry after another.
  const std::uint32_t firstData = out["manifest_offset"].get<std::uint32_t>() + 2 + 32 + 260 + 2 + 28 * 6;
  EXPECT_EQ(out["entries"][0]["data_offset"], firstData);
  EXPECT_EQ(out["entries"][1]["data_offset"], firstData + 1200);
}

TEST(ListCommand, HandmadeSkyImageAsText) {
  testsupport::TempFolder folder;
  const std::string image = folder.Write("sky.exe", skyimage::BuildHandmadeSkyImage());
  testsupport::CommandOutput run = Saverkit({"list", image});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  for (const char* expected :
       {"Title:            Sky\n", "Number base:      23\n", "Manifest offset:  0xDCF0 (56,560)\n",
        "  0  screen saver        126,490        245,760  compressed  -          Sky.scr\n",
        "MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE", "773,702",
        "Install total:    1,052,230 bytes"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

TEST(ListCommand, TextFromTheImageIsEscaped) {
  imagewriter::ManifestContents contents;
  contents.title = std::string("Caf\xE9 \x80 \x01\x1B[2J\x7F\x81", 14);
  contents.entries = {imagewriter::EntryContents{{1, 2, 3}, 0, "", 0, {}, {}}};
  testsupport::TempFolder folder;
  const std::string image = folder.Write("x.exe", imagewriter::BuildInstallerImage(contents));
  testsupport::CommandOutput json = Saverkit({"list", image, "--json"});
  ASSERT_EQ(json.exitStatus, 0) << json.err;
  EXPECT_EQ(nlohmann::json::parse(json.out)["title"], "Caf\u00e9 \u20ac \u0001\u001b[2J\u007f\u0081");
  // DEL and the C1 control U+0081 are escaped too: the JSON is plain ASCII.
  for (unsigned char c : json.out) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
  testsupport::CommandOutput text = Saverkit({"list", image});
  EXPECT_NE(text.out.find("Caf\u00e9 \u20ac \\x01\\x1B[2J\\x7F\\x81"), std::string::npos) << text.out;
}

TEST(ListCommand, ErrorsAreOneLineAndExitCodesTellThemApart) {
  testsupport::TempFolder folder;
  std::vector<std::uint8_t> cut = skyimage::BuildHandmadeSkyImage();
  cut.resize(0xDCF0);
  imagewriter::ManifestContents beyond = SampleManifest();
  beyond.entries[1].dataOffset = 0x7FFFFF00u;
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
    const char* listed = "";  // on standard output all the same
  };
  const std::vector<Case> cases = {
      {{"list", folder.path() + "/missing.exe"}, 1, "missing.exe: cannot open the file: No such file or directory\n"},
      {{"list", folder.Write("text.txt", std::string("hello"))}, 1, "text.txt: not a PE image\n"},
      {{"list", folder.Write("cut.exe", cut)}, 1, "cut.exe: manifest lies beyond the end of the file\n"},
      {{"list", folder.Write("beyond.exe", imagewriter::BuildInstallerImage(beyond))}, 1,
       "beyond.exe: entry 1: data lies beyond the end of the file\n", "Night Sky.DAT"},
      {{"list"}, 2, ""},
      {{"list", "a", "b"}, 2, ""},
      {{"frobnicate"}, 2, "unknown command \"frobnicate\" (commands: identify, list, test, extract, diff"},
  };
  for (const Case& c : cases) {
    testsupport::CommandOutput run = Saverkit(c.args);
    EXPECT_TRUE(FailedWith(run, c.status, c.message)) << c.args.back();
    EXPECT_NE(run.out.find(c.listed), std::string::npos) << run.out;
  }
  EXPECT_EQ(Saverkit({"--help"}).exitStatus, 0);
  // pack's help ends with the exit codes of the installer it makes.
  const testsupport::CommandOutput packHelp = Saverkit({"pack", "--help"});
  for (const char* line : {"  3  not enough disk space",
                           "  5  damaged image or refused title (damaged or unreadable",
                           "  8  elevation refused\n"})
    EXPECT_NE(packHelp.out.find(line), std::string::npos) << line << "\n" << packHelp.out;
  testsupport::CommandOutput version = Saverkit({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_NE(version.out.find("saverkit"), std::string::npos);
}

}  // namespace
