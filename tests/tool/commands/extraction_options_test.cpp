// extract's --include/--exclude, --stdout and --salvage, test --json's
// digests and list --licence, on images made with the project's own writer
// and encoder. The last media entry copies the ring's tail, so it has the
// installer's bytes only when the entries before it were decoded first.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"

namespace {

using installertest::Compressed;
using installertest::Media;
using installertest::RingTailEntry;
using installertest::SampleBytes;
using installertest::Stored;
using Names = std::vector<std::string>;

const std::string kData = "0123456789abcdefghijklmnopqrst and the rest of the data file";

imagewriter::ManifestContents Harbour() {
  imagewriter::ManifestContents contents;
  contents.title = "Harbour";
  contents.license = "Free to share.\r\n";
  contents.numberBase = 23;
  imagewriter::EntryContents fromTail = RingTailEntry();
  contents.entries = {Compressed(SampleBytes(4000)), Compressed(kData), Stored("uninstaller"),
                      Media(".WAV", SampleBytes(900, 'w')), fromTail};
  return contents;
}

struct FilterCase {
  std::vector<std::string> options;
  Names written;
};

TEST(ExtractFilters, PatternsMatchTheInstalledPathInAnyCase) {
  const std::vector<FilterCase> cases = {
      {{}, {"Harbour.DAT", "Harbour.scr", "JUKE0023.WAV", "JUKE0024.MID", "LICENSE.TXT", "UNINSTAL.EXE"}},
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
      {"harbour.scr", 0, SampleBytes(4000)},
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
  EXPECT_EQ(NamesIn(plain), (Names{"Harbour.scr", "JUKE0023.WAV", "JUKE0024.MID", "LICENSE.TXT", "UNINSTAL.EXE"}));

  const auto run = Saverkit({"extract", image, "-d", salvaged, "--salvage"});
  EXPECT_TRUE(FailedWith(run, 1, "Harbour.DAT: truncated"));
  EXPECT_EQ(NamesIn(salvaged),
            (Names{"Harbour.DAT.partial", "Harbour.scr", "JUKE0023.WAV", "JUKE0024.MID", "LICENSE.TXT", "UNINSTAL.EXE"}));
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

}  // namespace
