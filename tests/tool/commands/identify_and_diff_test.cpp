// saverkit identify and diff on images made with the project's own writer
// and encoder: each kind of file identified with its keys, a walk that
// follows no link and goes on past an unreadable file, and diff's verdict
// on each kind of change, the decoder's ring carried from entry to entry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "harbour_image.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"

namespace {

using harbour::Harbour;
using installertest::Compressed;
using installertest::Media;
using installertest::SampleBytes;
using installertest::Stored;
using Bytes = std::vector<std::uint8_t>;
using Json = nlohmann::json;
namespace fs = std::filesystem;

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
      {"stored instead of compressed", [](auto& c) { c.entries[0] = Stored(harbour::kSaver); }, 1,
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
