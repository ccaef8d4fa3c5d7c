// The commands that read an image (list, extract, test --json, identify,
// diff), run as the user runs them on images made with the project's own
// writer and encoder; extract leaving what the installer in the stand-in
// leaves where the decoder's ring or two names make that subtle. (Hostile
// images and refused names: HostileImage.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "handmade_sky_image.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"

namespace {

using namespace installertest;
using Bytes = std::vector<std::uint8_t>;
using Json = nlohmann::json;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

// The image most tests here read: a licence, a compressed screen saver and
// data file, a stored uninstaller, a .WAV and a .MID. The .MID is one
// 30-byte match at the farthest offset: it copies the ring's tail, which
// holds the data file's first 30 bytes only when the entries before it were
// decoded first.
const std::string kData = "0123456789abcdefghijklmnopqrst and the rest of the data file";
const std::string kSaver = SampleBytes(70000);  // more than one 64 KiB block of the entry reader

imagewriter::ManifestContents Harbour() {
  imagewriter::ManifestContents contents;
  contents.title = "Harbour";
  contents.license = "Free to share.\r\n";
  contents.numberBase = 23;
  contents.entries = {Compressed(kSaver), Compressed(kData), Stored("uninstaller"),
                      Media(".WAV", SampleBytes(900, 'w')), RingTailEntry()};
  return contents;
}

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

const Names kAll = {"Harbour.DAT", "Harbour.scr", "JUKE0023.WAV", "JUKE0024.MID", "LICENSE.TXT", "UNINSTAL.EXE"};

// A folder name that is not UTF-8 does not stop the JSON report.
TEST(ExtractCommand, WritesEveryFileBitExactUnderItsInstalledName) {
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(Harbour()));
  const std::string out = folder.path() + "/out\xff\xfe";
  const auto run = Saverkit({"extract", image, "-d", out, "--json"});
  ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_EQ(nlohmann::json::parse(run.out)["failed"], 0);
  EXPECT_EQ(NamesIn(out), kAll);  // nothing temporary left behind
  const std::pair<const char*, std::string> files[] = {{"Harbour.scr", kSaver},
                                                       {"Harbour.DAT", kData},
                                                       {"UNINSTAL.EXE", "uninstaller"},
                                                       {"JUKE0023.WAV", SampleBytes(900, 'w')},
                                                       {"JUKE0024.MID", kData.substr(0, 30)},
                                                       {"LICENSE.TXT", "Free to share.\r\n"}};
  for (const auto& [name, bytes] : files) EXPECT_EQ(FileText(out + "/" + name), bytes) << name;
}

TEST(ExtractCommand, DefaultFolderIsTheTitleAndNothingIsOverwrittenWithoutForce) {
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(Harbour()));
  fs::create_directories(folder.path() + "/Harbour");
  const std::string saver = folder.Write("Harbour/Harbour.scr", std::string("keep me"));

  // No -d: the folder is the title, in the current folder.
  std::vector<std::string> args = {SAVERKIT_TOOL, "extract", image};
  auto run = testsupport::RunCommand(args, folder.path());
  EXPECT_TRUE(FailedWith(run, 1, "--force"));
  EXPECT_EQ(FileText(saver), "keep me");
  // The other entries were still written.
  EXPECT_EQ(FileText(folder.path() + "/Harbour/UNINSTAL.EXE"), "uninstaller");

  args.push_back("--force");
  run = testsupport::RunCommand(args, folder.path());
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(FileText(saver), kSaver);
}

// Drive letters and backslashes mean nothing special on this system: they
// are parts of ordinary file names in the current folder.
TEST(ExtractCommand, WindowsLookingNamesAreOrdinaryHostPaths) {
  testsupport::TempFolder folder;
  folder.Write("C:demo.exe", imagewriter::BuildInstallerImage(Harbour()));
  const auto run = testsupport::RunCommand({SAVERKIT_TOOL, "extract", "C:demo.exe", "-d", "C:\\out"}, folder.path());
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(FileText(folder.path() + "/C:\\out/UNINSTAL.EXE"), "uninstaller");
}

struct FilterCase {
  std::vector<std::string> options;
  Names written;
};

TEST(ExtractFilters, PatternsMatchTheInstalledPathInAnyCase) {
  const std::vector<FilterCase> cases = {
      {{}, kAll},
      {{"--include", "*.mid"}, {"JUKE0024.MID"}},
      {{"--include", "*.WAV", "--include", "harbour.SCR"}, {"Harbour.scr", "JUKE0023.WAV"}},
      {{"--exclude", "*\\uninstal.exe", "--exclude", "license.txt"},
       {"Harbour.DAT", "Harbour.scr", "JUKE0023.WAV", "JUKE0024.MID"}},
      {{"--include", "marlowen/veldrake/harbour/*", "--exclude", "*.w?v"},
       {"Harbour.DAT", "JUKE0024.MID", "UNINSTAL.EXE"}},
      {{"--include", "JUKE*"}, {}},  // the installed path starts with the folders
  };
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(Harbour()));
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const std::string out = folder.path() + "/out" + std::to_string(i);
    std::vector<std::string> args = {"extract", image, "-d", out};
    args.insert(args.end(), cases[i].options.begin(), cases[i].options.end());
    const auto run = Saverkit(args);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(NamesIn(out), cases[i].written) << run.out;
  }
  EXPECT_EQ(FileText(folder.path() + "/out1/JUKE0024.MID"), kData.substr(0, 30));
}

TEST(ExtractToStdout, OneEntrysBytesAsTheInstallerWritesThem) {
  struct Case {
    std::string name;
    int status;
    std::string out;  // the bytes, or a part of the one error line
  };
  const std::vector<Case> cases = {
      {"JUKE0024.MID", 0, kData.substr(0, 30)},
      {"marlowen/veldrake/harbour/juke0024.mid", 0, kData.substr(0, 30)},
      {"harbour.scr", 0, kSaver},
      {"UNINSTAL.EXE", 0, "uninstaller"},
      {"JUKE0024", 2, "no entry installs as \"JUKE0024\""},
  };
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(Harbour()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto run = Saverkit({"extract", image, "--stdout", c.name});
    if (c.status == 0) {
      EXPECT_EQ(run.exitStatus, 0) << run.err;
      EXPECT_EQ(run.out, c.out);
    } else {
      EXPECT_TRUE(FailedWith(run, c.status, c.out));
      EXPECT_EQ(run.out, "");
    }
  }
}

// The data file's stream cut short: nothing under its name, ever; with
// --salvage the bytes before the damage (a beginning of the real data) as
// Harbour.DAT.partial, or on standard output; the status stays 1.
TEST(ExtractSalvage, BytesBeforeTheDamageAreKeptOnlyUnderAnotherName) {
  const std::string data = SampleBytes(20000, 'd');
  imagewriter::ManifestContents contents = Harbour();
  contents.entries[1] = Compressed(data);
  contents.entries[1].stored.resize(contents.entries[1].stored.size() / 2);
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(contents));
  const std::string plain = folder.path() + "/plain";
  const std::string salvaged = folder.path() + "/salvaged";
  EXPECT_TRUE(FailedWith(Saverkit({"extract", image, "-d", plain}), 1, "Harbour.DAT: truncated"));
  EXPECT_EQ(NamesIn(plain), Names(kAll.begin() + 1, kAll.end()));

  const auto run = Saverkit({"extract", image, "-d", salvaged, "--salvage"});
  EXPECT_TRUE(FailedWith(run, 1, "Harbour.DAT: truncated"));
  Names withPartial = kAll;
  withPartial[0] = "Harbour.DAT.partial";
  EXPECT_EQ(NamesIn(salvaged), withPartial);
  const std::string partial = FileText(salvaged + "/Harbour.DAT.partial");
  EXPECT_GT(partial.size(), 1000u);
  EXPECT_LT(partial.size(), data.size());
  EXPECT_EQ(partial, data.substr(0, partial.size()));
  EXPECT_NE(run.out.find("bytes before the damage kept as Harbour.DAT.partial"), std::string::npos) << run.out;

  EXPECT_TRUE(FailedWith(Saverkit({"extract", image, "--stdout", "Harbour.DAT"}), 1, "truncated"));
  EXPECT_EQ(Saverkit({"extract", image, "--stdout", "Harbour.DAT"}).out, "");
  const auto piped = Saverkit({"extract", image, "--stdout", "Harbour.DAT", "--salvage"});
  EXPECT_EQ(piped.exitStatus, 1);
  EXPECT_EQ(piped.out, partial);
}

// FIPS 180-2's known answers, the last fed in many pieces by the decoder.
TEST(TestJson, EachSoundEntryHasTheSha256OfItsDecodedBytes) {
  imagewriter::ManifestContents contents = Harbour();
  contents.entries[0] = Compressed("abc");
  contents.entries[1] = Stored("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq");
  contents.entries[2] = Compressed(std::string(1000000, 'a'));
  contents.entries[3] = Compressed(SampleBytes(9000, 'w'));
  contents.entries[3].name = ".WAV";
  contents.entries[3].stored.resize(10);  // cut short: no digest
  testsupport::TempFolder folder;
  const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(contents));
  const auto run = Saverkit({"test", "--json", image});
  EXPECT_EQ(run.exitStatus, 1);
  const auto report = nlohmann::json::parse(run.out);
  const std::vector<nlohmann::json> digests = {
      "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
      "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
      "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", nullptr};
  for (std::size_t i = 0; i < digests.size(); ++i) EXPECT_EQ(report["entries"][i]["sha256"], digests[i]) << i;
  EXPECT_EQ(report["entries"][3]["sound"], false);
  EXPECT_EQ(report["failed"], 1);
}

TEST(ListLicence, PrintsTheTextAloneWithControlsEscaped) {
  imagewriter::ManifestContents contents = Harbour();
  contents.license = "Caf\xe9 rules:\r\n\t1. share\rno \x1b[2J tricks\n";
  testsupport::TempFolder folder;
  const auto run = Saverkit({"list", "--licence", folder.Write("setup.exe", imagewriter::BuildInstallerImage(contents))});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "Caf\xc3\xa9 rules:\n\t1. share\nno \\x1B[2J tricks\n");
}

// An entry the installer refuses (a media name that would leave its folder)
// is never decoded, so it leaves the ring alone: the .MID after it copies
// the data file's first 30 bytes, in the stand-in and from extract alike.
TEST(ExtractLikeTheInstaller, ARefusedEntryLeavesTheRingAlone) {
  imagewriter::ManifestContents manifest = Harbour();
  manifest.license.clear();
  manifest.entries[3] = Compressed("ZYXWVUTSRQPONMLKJIHGFEDCBA9876 refused");
  manifest.entries[3].name = "\\..\\EVIL.MID";
  manifest.entries[3].kind = 0;
  Machine machine;
  machine.Install(manifest, {"ok", "ok", "ok", "ok", "ok", "ok"});
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Harbour\\JUKE0024.MID"), kData.substr(0, 30));

  testsupport::TempFolder folder;
  const std::string image = folder.Write("ring.exe", imagewriter::BuildInstallerImage(manifest));
  const std::string out = folder.path() + "/out";
  const auto run = Saverkit({"extract", image, "-d", out});
  EXPECT_EQ(run.exitStatus, 1) << "the refused entry is a failure";
  EXPECT_NE(run.out.find("refused"), std::string::npos) << run.out;
  EXPECT_EQ(FileText(out + "/JUKE0024.MID"), kData.substr(0, 30)) << run.out << run.err;
}

// Two entries written into one folder under names Windows takes for one
// (juke0001.DAT, the data file of the title "juke0001", and JUKE0001.DAT,
// media file number 1 named ".DAT"): the later one's bytes stay, under the
// name the file was first created with. Both are compressed: the losing one
// must still pass through the decoder for the winner to come out right.
TEST(ExtractLikeTheInstaller, TwoNamesForOneFileKeepTheLaterBytesUnderTheEarlierName) {
  struct Clash {
    const char* title;
    const char* mediaName;  // entry 3's Name, after "JUKE0001"
    const char* dataFile;   // the name the file keeps: entry 1's
    const char* shownData;  // the report's spelling of the two names (UTF-8)
    const char* shownMedia;
  };
  const Clash clashes[] = {
      {"juke0001", ".DAT", "juke0001.DAT", "juke0001.DAT", "JUKE0001.DAT"},
      {"juke0001\xE9\x9A\xFF", "\xC9\x8A\x9F.DAT", "juke0001\xE9\x9A\xFF.DAT", "juke0001éšÿ.DAT",
       "JUKE0001ÉŠŸ.DAT"},
  };
  const std::string mediaBytes = SampleBytes(3000, 'm');
  for (const Clash& clash : clashes) {
    SCOPED_TRACE(clash.title);
    imagewriter::ManifestContents manifest;
    manifest.title = clash.title;
    manifest.numberBase = 1;
    imagewriter::EntryContents media = Compressed(mediaBytes);
    media.name = clash.mediaName;
    media.kind = 0;
    manifest.entries = {Stored("saver"), Compressed(SampleBytes(2000, 'd')), Stored("uninstaller"), media};

    Machine machine;
    machine.Install(manifest, {"ok", "ok", "ok", "ok", "ok", "ok"});
    const std::string installed = machine.folder() + "/drive_c/WINDOWS/MARLOWEN/VELDRAKE/" + clash.title;
    EXPECT_EQ(NamesIn(installed), (Names{"INSTALL.LOG", "UNINSTAL.EXE", clash.dataFile}));
    EXPECT_TRUE(FileText(installed + "/" + clash.dataFile) == mediaBytes);

    testsupport::TempFolder folder;
    const std::string image = folder.Write("setup.exe", imagewriter::BuildInstallerImage(manifest));
    const std::string out = folder.path() + "/out";
    const auto run = Saverkit({"extract", image, "-d", out});
    EXPECT_EQ(run.exitStatus, 1) << run.out << run.err;
    EXPECT_EQ(NamesIn(out), (Names{"UNINSTAL.EXE", clash.dataFile, std::string(clash.title) + ".scr"}));
    EXPECT_TRUE(FileText(out + "/" + clash.dataFile) == mediaBytes);
    const std::string loser = std::string(clash.shownData) + ": replaced: entry 3, " + clash.shownMedia +
                              ", has the same name on Windows and is written after it\n";
    const std::string winner = std::string(clash.shownMedia) + ": written, 3000 bytes (note: written as " +
                               clash.shownData + ", the spelling Windows keeps)\n";
    EXPECT_NE(run.out.find("\n" + loser), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n" + winner), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "saverkit: " + image + ": " + loser);
  }
}

std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
  return lines;
}

TEST(IdentifyCommand, EachKindOfFileWithItsKeysAndAnUnreadableOneDoesNotStopTheRest) {
  testsupport::TempFolder folder;
  imagewriter::ManifestContents beyond = Harbour();
  beyond.entries[1].dataOffset = 0xFFFFFFF0u;
  const Bytes sound = imagewriter::BuildInstallerImage(Harbour());
  Bytes mzOnly(300, 0);
  mzOnly[0] = 'M';
  mzOnly[1] = 'Z';
  struct Case {
    std::string name;
    Bytes bytes;
    const char* kind;
    const char* damage;  // part of it; empty: no damage key
  };
  const std::vector<Case> cases = {
      {"sound.exe", sound, "installer", ""},
      {"notes.txt", Bytes{'h', 'e', 'l', 'l', 'o'}, "not an installer", ""},
      {"empty", Bytes{}, "not an installer", ""},
      {"mz-only.exe", mzOnly, "not an installer", ""},
      {"beyond.exe", imagewriter::BuildInstallerImage(beyond), "damaged", "data lies beyond the end of the file"},
      {"cut.exe", Bytes(sound.begin(), sound.begin() + sound.size() / 2), "damaged", ""},
  };
  std::vector<std::string> args = {"identify", "--json"};
  for (const Case& c : cases) {
    args.push_back(folder.Write(c.name, c.bytes));
    if (args.size() == 4) args.push_back(folder.path() + "/missing.exe");
  }
  const auto run = Saverkit(args);
  EXPECT_TRUE(FailedWith(run, 1, "missing.exe: cannot open the file"));
  const std::vector<Json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), cases.size()) << run.out;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(lines[i]["path"], folder.path() + "/" + cases[i].name);
    EXPECT_EQ(lines[i]["kind"], cases[i].kind);
    EXPECT_EQ(lines[i].contains("damage"), std::string(cases[i].kind) == "damaged");
    if (lines[i].contains("damage")) {
      EXPECT_NE(lines[i]["damage"].get<std::string>().find(cases[i].damage), std::string::npos);
    }
  }
  const Json& installer = lines[0];
  EXPECT_EQ(installer["title"], "Harbour");
  EXPECT_EQ(installer["entries"], 5);
  EXPECT_EQ(installer["install_total"], 70000 + 60 + 11 + 900 + 30);
  EXPECT_EQ(installer["signed"], false);
  EXPECT_TRUE(installer["publisher"].is_null());
  EXPECT_TRUE(installer["version"].is_null());
  EXPECT_EQ(installer["installer_program"], "other");  // the writer's images carry no identity
  EXPECT_EQ(lines[4]["title"], "Harbour") << "a damaged image keeps what could be read";
}

TEST(IdentifyCommand, PackedImageNamesOurProgramPublisherAndVersion) {
  PackInputs in;
  ASSERT_EQ(Saverkit(in.Args({"--publisher", "Night Works", "--version", "2.1.0"})).exitStatus, 0);
  const auto run = Saverkit({"identify", in.out});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, in.out + ": installer: \"Night Sky\", 5 entries, 32,400 bytes, unsigned, publisher \"Night Works\""
                              ", version 2.1.0, installer program Saverkit 9.8.7\n");
}

// The walk: regular files in name order, folders after the files beside
// them; links (to a file or a folder) and a pipe are passed over.
TEST(IdentifyCommand, WalkSkipsLinksAndWhatIsNoRegularFile) {
  testsupport::TempFolder folder;
  const std::string top = folder.path() + "/top";
  fs::create_directories(top + "/sub/deeper");
  folder.Write("top/b.exe", imagewriter::BuildInstallerImage(Harbour()));
  folder.Write("top/a.txt", std::string("text"));
  folder.Write("top/sub/deeper/c.bin", Bytes(64, 0xEE));
  fs::create_symlink(top + "/b.exe", top + "/sub/link.exe");
  fs::create_directory_symlink("/usr", top + "/sub/usr");
  ASSERT_EQ(mkfifo((top + "/sub/pipe").c_str(), 0600), 0);
  const auto run = Saverkit({"identify", "-r", top});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> seen;
  std::istringstream in(run.out);
  for (std::string line; std::getline(in, line);) seen.push_back(line.substr(0, line.find(": ")));
  EXPECT_EQ(seen, (std::vector<std::string>{top + "/a.txt", top + "/b.exe", top + "/sub/deeper/c.bin"}));
  // Without -r a folder is a path that cannot be identified.
  EXPECT_TRUE(FailedWith(Saverkit({"identify", top}), 1, "is a folder (-r walks it)"));
}

struct DiffCase {
  const char* what;
  std::function<void(imagewriter::ManifestContents&)> change;
  int status;
  // Each entry's change, in diff's order (A's paths, then B's new ones).
  std::vector<std::string> changes;
  const char* line;  // a line of the text report
};

TEST(DiffCommand, EachKindOfChangeWithItsStatus) {
  const auto last = [](imagewriter::ManifestContents& c) -> imagewriter::EntryContents& { return c.entries.back(); };
  const std::vector<std::string> allSame(5, "same");
  const std::vector<DiffCase> cases = {
      {"the same image", [](auto&) {}, 0, allSame, "the payloads are the same: 5 same"},
      // Stored bytes unchanged, decoded bytes not: the ring came from the
      // data file, which changed in its first 30 bytes.
      {"a ring-dependent entry",
       [](auto& c) { c.entries[1] = Compressed("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123, then the rest"); }, 1,
       {"same", "changed", "same", "same", "changed"}, "sha256 "},
      {"a media file's bytes", [](auto& c) { c.entries[3] = Media(".WAV", SampleBytes(900, 'v')); }, 1,
       {"same", "same", "same", "changed", "same"}, "changed: MARLOWEN\\VELDRAKE\\Harbour\\JUKE0023.WAV: sha256 "},
      {"stored instead of compressed", [](auto& c) { c.entries[0] = Stored(kSaver); }, 1,
       {"changed", "same", "same", "same", "same"}, "method compressed -> stored"},
      {"an entry added", [](auto& c) { c.entries.push_back(Media(".MID", "new")); }, 1,
       {"same", "same", "same", "same", "same", "added"}, "added: MARLOWEN\\VELDRAKE\\Harbour\\JUKE0025.MID (3 bytes"},
      {"an entry removed", [&](auto& c) { c.entries.erase(c.entries.begin() + 3); }, 1,
       {"same", "same", "same", "removed", "removed", "added"}, "removed: MARLOWEN\\VELDRAKE\\Harbour\\JUKE0023.WAV"},
      {"the licence", [](auto& c) { c.license = "All rights reserved."; }, 1, allSame, "licence: changed (16 -> 20 bytes)"},
      // A new title moves every entry: all removed and added again.
      {"the title", [](auto& c) { c.title = "Lighthouse"; }, 1,
       {"removed", "removed", "removed", "removed", "removed", "added", "added", "added", "added", "added"},
       "title: \"Harbour\" -> \"Lighthouse\""},
      {"a name's case only", [&](auto& c) { last(c).name = ".mid"; }, 1, {"same", "same", "same", "same", "changed"},
       "name MARLOWEN\\VELDRAKE\\Harbour\\JUKE0024.MID -> MARLOWEN\\VELDRAKE\\Harbour\\JUKE0024.mid"},
  };
  testsupport::TempFolder folder;
  const std::string a = folder.Write("a.exe", imagewriter::BuildInstallerImage(Harbour()));
  for (const DiffCase& c : cases) {
    SCOPED_TRACE(c.what);
    imagewriter::ManifestContents contents = Harbour();
    c.change(contents);
    const std::string b = folder.Write("b.exe", imagewriter::BuildInstallerImage(contents));
    const auto text = Saverkit({"diff", a, b});
    EXPECT_EQ(text.exitStatus, c.status) << text.err;
    EXPECT_EQ(text.err, "");
    EXPECT_NE(text.out.find(c.line), std::string::npos) << text.out;
    const auto json = Saverkit({"diff", "--json", a, b});
    ASSERT_EQ(json.exitStatus, c.status);
    const Json report = Json::parse(json.out);
    EXPECT_EQ(report["same"], c.status == 0);
    std::vector<std::string> changes;
    for (const Json& entry : report["entries"]) changes.push_back(entry["change"]);
    EXPECT_EQ(changes, c.changes);
    for (const char* key : {"title", "licence", "signature"}) EXPECT_TRUE(report[key].contains("changed")) << key;
  }
}

// Publisher, version and signature are shown, but an image re-labelled is
// still the same payload; damage in either image is trouble, status 2.
TEST(DiffCommand, MetadataLeavesTheStatusAloneAndDamageIsTrouble) {
  PackInputs in;
  ASSERT_EQ(Saverkit(in.Args({"--version", "1.0.0"})).exitStatus, 0);
  const std::string first = in.folder.path() + "/first.exe";
  fs::rename(in.out, first);
  ASSERT_EQ(Saverkit(in.Args({"--version", "1.0.1"})).exitStatus, 0);
  const auto run = Saverkit({"diff", first, in.out});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("version: \"1.0.0\" -> \"1.0.1\"\n"), std::string::npos) << run.out;

  imagewriter::ManifestContents cut = Harbour();
  cut.entries[0].stored.resize(cut.entries[0].stored.size() / 2);
  const std::string damaged = in.folder.Write("damaged.exe", imagewriter::BuildInstallerImage(cut));
  EXPECT_TRUE(FailedWith(Saverkit({"diff", first, damaged}), 2, "damaged.exe: entry 0: truncated"));
  EXPECT_TRUE(FailedWith(Saverkit({"diff", in.mid, first}), 2, "melody.mid: not a PE image"));
  EXPECT_TRUE(FailedWith(Saverkit({"diff", first}), 2, "B is required"));
}

}  // namespace
