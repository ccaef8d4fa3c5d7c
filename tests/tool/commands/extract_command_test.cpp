// saverkit extract (the default folder, --force, --include/--exclude,
// --stdout, --salvage), test --json's digests and list --licence, on images
// made with the project's own writer and encoder; and extract leaving what
// the installer in the stand-in leaves where the decoder's ring or two
// names make that subtle. (Hostile images and refused names: HostileImage.)
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "harbour_image.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"

namespace {

using namespace installertest;
using harbour::Harbour;
using harbour::kData;
using harbour::kSaver;
using Names = std::vector<std::string>;
namespace fs = std::filesystem;

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

}  // namespace
