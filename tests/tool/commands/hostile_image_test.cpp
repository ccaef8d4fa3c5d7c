// saverkit's commands on images made to hurt them: cut short, sizes and
// offsets past the end, a looping resource tree, escaping names, huge entry
// counts, bombs, shared stored data, a pipe. Each gives its exit status and
// one line; none may crash, hang, or write outside its folder or budget.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/codec/entry_encoder.h"
#include "tool/packer/stub_image.h"
#include "tool/reader/payload_image.h"
#include "tool/reader/work_budget.h"
#include "core/imagewriter/manifest_writer.h"
#include "core/format/manifest_layout.h"
#include "installer_fixture.h"
#include "sample_data.h"
#include "run_saverkit.h"
#include "temp_files.h"

using format::kEntrySize;
using format::kTitleFieldSize;
using samples::MakeExecutableLike;

using reader::ImageError;
using reader::LoadPayloadImage;
using reader::PayloadImage;
using reader::WorkBudget;

namespace {

using installertest::Compressed;
using installertest::Media;
using installertest::Stored;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

imagewriter::ManifestContents SoundManifest() {
  imagewriter::ManifestContents contents;
  contents.title = "Harbour";
  contents.license = "Free to share.";
  contents.numberBase = 23;
  const Bytes saver = MakeExecutableLike(3000, 7);
  contents.entries = {Compressed(std::string(saver.begin(), saver.end())), Stored(std::string(40, 0x22)),
                      Stored(std::string(300, 0x33)), Media(".MID", std::string(50, 0x44))};
  return contents;
}

// The file offset of the root resource directory (.rsrc's raw data).
std::size_t ResourceRoot(const Bytes& image) {
  const packer::StubImage stub = packer::ReadStubImage(image);
  return stub.sections.at(stub.resourceSection).pointerToRawData;
}

// Where the manifest's table ends, before the entry data.
std::size_t TableEnd(const std::string& path, std::size_t entries) {
  const PayloadImage image = LoadPayloadImage(path);
  return image.walk.manifestOffset + 2 + image.licenseLength + kTitleFieldSize + 2 +
         kEntrySize * (entries + 1);
}

// Every prefix that stops before the table's end is refused, by the reader
// (every prefix) and the tool (a spread), with status 1 and lines naming it.
TEST(HostileImage, EveryTruncationOfHeadersTreeAndManifestFailsCleanly) {
  testsupport::TempFolder folder;
  const imagewriter::ManifestContents contents = SoundManifest();
  const Bytes whole = imagewriter::BuildInstallerImage(contents);
  const std::size_t end = TableEnd(folder.Write("whole.exe", whole), contents.entries.size());
  ASSERT_LE(end, whole.size());
  for (std::size_t length = 0; length < end; ++length) {
    const std::string path = folder.Write("cut.exe", Bytes(whole.begin(), whole.begin() + length));
    bool refused = false;
    try {
      refused = LoadPayloadImage(path).tableCutShort;
    } catch (const ImageError& e) {
      refused = !std::string(e.what()).empty();
    }
    EXPECT_TRUE(refused) << "prefix of " << length << " bytes loaded as sound";
    if (length % 509 != 0 && length != end - 1) continue;
    for (const char* command : {"list", "test"}) {
      const auto run = Saverkit({command, path});
      EXPECT_EQ(run.exitStatus, 1) << command << " " << length << "\n" << run.err;
      ASSERT_FALSE(run.err.empty()) << command << " " << length;
      for (std::size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1)
        EXPECT_EQ(run.err.compare(at, 10 + path.size(), "saverkit: " + path), 0) << run.err;
    }
  }
}

struct HostileCase {
  const char* what;
  std::function<Bytes()> image;
  std::vector<std::string> args;  // IMAGE and OUT stand for the image and a fresh folder
  // (diff compares the image with itself: trouble is 2, never a difference)
  int status;
  std::string message;  // on stderr
  bool alone = false;   // the message is the one line on stderr, even for test
};

imagewriter::ManifestContents WithEntry(std::size_t position, const std::function<void(imagewriter::EntryContents&)>& change) {
  imagewriter::ManifestContents contents = SoundManifest();
  change(contents.entries[position]);
  return contents;
}

Bytes Packed(const imagewriter::ManifestContents& contents) { return imagewriter::BuildInstallerImage(contents); }

Bytes Titled(const std::string& title) {
  imagewriter::ManifestContents contents = SoundManifest();
  contents.title = title;
  return Packed(contents);
}

std::vector<HostileCase> Cases() {
  using imagewriter::EntryContents;
  // The sound image with one field of entry `position` set to `value`.
  const auto withField = [](std::size_t position, auto field, std::uint32_t value) {
    return [=] { return Packed(WithEntry(position, [=](EntryContents& e) { e.*field = value; })); };
  };
  const auto offset = [=](std::uint32_t value) { return withField(1, &EntryContents::dataOffset, value); };
  const auto storedSize = [=](std::uint32_t value) { return withField(1, &EntryContents::storedSize, value); };
  const auto expanded = [=](std::uint32_t value) { return withField(0, &EntryContents::expandedSize, value); };
  // The sound image's four entries and one-byte media files up to `count`.
  const auto manyEntries = [](std::size_t count) {
    return [count] {
      imagewriter::ManifestContents contents = SoundManifest();
      contents.entries.resize(count, Media(".MID", "U"));
      return Packed(contents);
    };
  };
  // `count` media entries on the stored bytes of the last one, each
  // declaring `expandedSize` (0: stored as is): the others carry no bytes of
  // their own, so the writer places all of them at the same offset.
  const auto sharing = [](std::size_t count, const std::function<Bytes()>& stored, std::uint32_t expandedSize) {
    return [=] {
      imagewriter::ManifestContents contents = SoundManifest();
      contents.entries.assign(count, Media(".MID", ""));
      const Bytes bytes = stored();
      for (imagewriter::EntryContents& e : contents.entries) {
        e.storedSize = static_cast<std::uint32_t>(bytes.size());
        e.expandedSize = expandedSize;
      }
      contents.entries.back().stored = bytes;
      return Packed(contents);
    };
  };
  const auto packed = [](Bytes data) {
    return [data] { return codec::CompressEntry(data.data(), data.size()); };
  };
  const Bytes zeros(240000, 0);
  const std::string reused = "stopped after";
  const std::string reusedWhy = "its entries reuse the same stored data";
  const std::string beyond = "entry 1: data lies beyond the end of the file";
  const std::string tooLarge = "expanded size of 2 GiB or more: the installer writes nothing";
  const std::string truncated = "truncated: the stream ran out before the expanded size";
  const std::string unsafeTitle = "refused: the title could lead outside its folder";
  const std::string maxFiles = "not in range 1 to 4294967295";
  const auto sound = [] { return Packed(SoundManifest()); };
  const auto loopingTree = [] {
    Bytes image = Packed(SoundManifest());
    const std::size_t root = ResourceRoot(image);
    // The first entry's offset: a subdirectory at offset 0, the root.
    image[root + 16 + 4] = image[root + 16 + 5] = image[root + 16 + 6] = 0;
    image[root + 16 + 7] = 0x80;
    return image;
  };
  return {
      {"offset 0xFFFFFFFF", offset(0xFFFFFFFFu), {"list", "IMAGE"}, 1, beyond},
      {"offset 0x80000000", offset(0x80000000u), {"test", "IMAGE"}, 1, "data lies beyond the end of the file"},
      {"stored size 0xFFFFFFFF", storedSize(0xFFFFFFFFu), {"list", "IMAGE"}, 1, beyond},
      {"stored size 0x80000000", storedSize(0x80000000u), {"extract", "IMAGE", "-d", "OUT"}, 1,
       "data lies beyond the end of the file"},
      // The last entry's data runs to the end of the file; one byte more is past it.
      {"last entry one byte past the end", withField(3, &EntryContents::storedSize, 51), {"list", "IMAGE"}, 1,
       "entry 3: data lies beyond the end of the file"},
      {"expanded 0x80000000", expanded(0x80000000u), {"list", "IMAGE"}, 1, "entry 0: " + tooLarge},
      {"expanded 0xFFFFFFFF", expanded(0xFFFFFFFFu), {"test", "IMAGE"}, 1, tooLarge},
      // A few stored bytes that claim almost 2 GiB: decoding stops where the stream does.
      {"decompression bomb", expanded(0x7FFFFF00u), {"test", "IMAGE"}, 1, "2,147,483,392 bytes: " + truncated},
      {"bomb extracted", expanded(0x7FFFFF00u), {"extract", "IMAGE", "-d", "OUT"}, 1, "Harbour.scr: " + truncated},
      {"install total past 4 GiB",
       [] {
         imagewriter::ManifestContents contents = SoundManifest();
         for (int i = 0; i < 3; ++i) contents.entries[i].expandedSize = 0x7FFFFFF0u;
         return Packed(contents);
       },
       {"list", "IMAGE"}, 1, "the install total passes 4 GiB, so the installer's 32-bit count wraps to"},
      {"compressed stream cut short",
       [] {
         return Packed(WithEntry(0, [](imagewriter::EntryContents& e) { e.stored.resize(e.stored.size() / 2); }));
       },
       {"test", "IMAGE"}, 1, truncated},
      {"bytes behind the stream",
       [] {
         return Packed(
             WithEntry(0, [](imagewriter::EntryContents& e) { e.stored.insert(e.stored.end(), 100, 0xA5); }));
       },
       {"test", "IMAGE"}, 0, "note: 100 stored bytes left unread"},
      {"overlapping entries",
       [] {
         // Entry 1 claims its own bytes and entry 2's.
         return Packed(WithEntry(1, [](imagewriter::EntryContents& e) { e.storedSize = 340; }));
       },
       {"test", "IMAGE"}, 0, "4 entries, 4 sound, 0 failed"},
      // Shared data is legal, and costs nothing until it yields more than
      // the image's size honestly can: 24 bytes per byte plus 4 MiB.
      {"a few entries on one stream", sharing(10, packed(zeros), 240000), {"test", "IMAGE"}, 0,
       "10 entries, 10 sound, 0 failed"},
      {"many entries on one stream", sharing(40, packed(zeros), 240000), {"test", "IMAGE"}, 1, reusedWhy, true},
      {"many entries on one stored region", sharing(200, [] { return Bytes(30000, 0x5A); }, 0),
       {"extract", "IMAGE", "-d", "OUT"}, 1, reused, true},
      {"entries declaring 100,000 bytes each from one stream",
       sharing(100, packed(MakeExecutableLike(100000, 5)), 100000), {"extract", "IMAGE", "-d", "OUT"}, 1,
       reusedWhy, true},
      {"resource tree points back at itself", loopingTree, {"list", "IMAGE"}, 1, "hostile.exe: image cut short"},
      // (Every kind of unsafe title is TitleRule's; one refusal per command here.)
      {"title ..", [] { return Titled(".."); }, {"extract", "IMAGE", "-d", "OUT"}, 1, unsafeTitle},
      {"title with a slash", [] { return Titled("a/b"); }, {"test", "IMAGE"}, 1, unsafeTitle},
      {"title no folder without -d", [] { return Titled(".."); }, {"extract", "IMAGE"}, 2,
       "the title cannot name a folder; choose one with -d DIR"},
      {"media name with ..",
       [] { return Packed(WithEntry(3, [](imagewriter::EntryContents& e) { e.name = "\\..\\x.MID"; })); },
       {"extract", "IMAGE", "-d", "OUT"}, 1, "refused: the name could land outside the folder"},
      {"two entries one name",
       [] {
         // Media number 1000 with the name "0.MID" and number 10000 with
         // ".MID" are both JUKE10000.MID; the installer writes the second
         // over the first.
         imagewriter::ManifestContents contents = SoundManifest();
         contents.numberBase = 1000;
         contents.entries.resize(3 + 9001, Media(".MID", "U"));
         contents.entries[3].name = "0.MID";
         return Packed(contents);
       },
       {"extract", "IMAGE", "-d", "OUT", "--force"}, 1,
       "JUKE10000.MID: replaced: entry 9003, JUKE10000.MID, has the same name on Windows and is written after it"},
      {"one name from two folders",
       [] {
         // The screen saver JUKE0023.scr (Windows directory) and the media
         // file JUKE0023.SCR (title directory) are two files on Windows but
         // one name in extract's folder.
         imagewriter::ManifestContents contents = SoundManifest();
         contents.title = "JUKE0023";
         contents.entries[3].name = ".SCR";
         return Packed(contents);
       },
       {"extract", "IMAGE", "-d", "OUT", "--force"}, 1,
       "JUKE0023.SCR: refused: an earlier entry was given the same name"},
      {"huge entry count", manyEntries(200000), {"list", "IMAGE", "--json"}, 0, ""},
      {"more files than extract writes", manyEntries(20000), {"extract", "IMAGE", "-d", "OUT"}, 1,
       "the image would write 20001 files, more than 16384"},
      // preview runs nothing that list would refuse as no installer at all.
      {"junk previewed", [] { return Bytes{'j', 'u', 'n', 'k'}; }, {"preview", "IMAGE"}, 1, "not a PE image"},
      {"empty file previewed", [] { return Bytes{}; }, {"preview", "IMAGE"}, 1, "not a PE image"},
      // --max-files takes 1 to 2^32-1; nothing wraps into "no limit".
      // identify reads no entry: damage is its answer, status 0; diff
      // decodes every entry, and any damage is trouble, status 2.
      {"identify a bomb", expanded(0x7FFFFF00u), {"identify", "--json", "IMAGE"}, 0, "\"kind\":\"installer\""},
      {"identify a looping tree", loopingTree, {"identify", "IMAGE"}, 0, "damaged (image cut short)"},
      {"identify a huge entry count", manyEntries(200000), {"identify", "IMAGE"}, 0, "200000 entries"},
      {"identify an unsafe title", [] { return Titled(".."); }, {"identify", "--json", "IMAGE"}, 0,
       "\"title\":\"..\""},
      {"diff offset 0xFFFFFFFF", offset(0xFFFFFFFFu), {"diff", "IMAGE", "IMAGE"}, 2, beyond, true},
      {"diff a bomb", expanded(0x7FFFFF00u), {"diff", "IMAGE", "IMAGE"}, 2, "entry 0: " + truncated, true},
      {"diff expanded 0xFFFFFFFF", expanded(0xFFFFFFFFu), {"diff", "IMAGE", "IMAGE"}, 2, tooLarge, true},
      {"diff a looping tree", loopingTree, {"diff", "--json", "IMAGE", "IMAGE"}, 2, "image cut short", true},
      {"diff many entries on one stream", sharing(40, packed(zeros), 240000), {"diff", "IMAGE", "IMAGE"}, 2,
       reusedWhy, true},
      {"diff a huge entry count", manyEntries(200000), {"diff", "IMAGE", "IMAGE"}, 0, ""},
      {"diff an unsafe title", [] { return Titled("a\\b"); }, {"diff", "IMAGE", "IMAGE"}, 0, ""},
      {"max files -1", sound, {"extract", "IMAGE", "-d", "OUT", "--max-files=-1"}, 2, maxFiles},
      {"max files 0", sound, {"extract", "IMAGE", "-d", "OUT", "--max-files=0"}, 2, maxFiles},
      {"max files past 2^64", sound, {"extract", "IMAGE", "-d", "OUT", "--max-files=99999999999999999999"}, 2,
       maxFiles},
  };
}

TEST(HostileImage, EachClassGivesItsStatusAndOneLine) {
  for (const HostileCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    testsupport::TempFolder folder;
    const std::string image = folder.Write("hostile.exe", c.image());
    const std::string out = folder.path() + "/out";
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) arg = arg == "IMAGE" ? image : arg == "OUT" ? out : arg;
    const auto run = Saverkit(args);
    EXPECT_EQ(run.exitStatus, c.status) << run.err;
    // test and identify report on standard output, the others on standard error.
    const bool toOutput = args[0] == "test" || args[0] == "identify";
    if (c.alone)
      EXPECT_TRUE(FailedWith(run, c.status, c.message));
    else
      EXPECT_NE((toOutput ? run.out : run.err).find(c.message), std::string::npos) << run.out << run.err;
    for (std::size_t at = 0; at < run.err.size(); at = run.err.find('\n', at) + 1)
      EXPECT_EQ(run.err.compare(at, 10, "saverkit: "), 0) << run.err;
    if (args[0] == "list" && args.back() == "--json" && c.status == 0) {
      const auto json = nlohmann::json::parse(run.out, nullptr, false);
      EXPECT_FALSE(json.is_discarded());
    }
    // Nothing lands beside the image but the output folder, no temporary
    // file is left in it, and it holds no more than the budget allows.
    std::uint64_t written = 0;
    for (const auto& item : fs::recursive_directory_iterator(folder.path())) {
      const std::string name = item.path().filename().string();
      EXPECT_TRUE(item.path() == image || item.path().string().rfind(out, 0) == 0) << item.path();
      EXPECT_FALSE(name.size() > 5 && name.substr(name.size() - 5) == ".part") << item.path();
      if (item.path() != image && item.is_regular_file()) written += item.file_size();
    }
    EXPECT_LE(written, WorkBudget(fs::file_size(image)).limit());
  }
}

// The packer's largest expansion (a long run of one byte: 2 MiB, past 23
// bytes per stored byte) is no hostile image: test and extract take it whole.
TEST(HostileImage, ThePackersTightestImageStaysInsideTheBudget) {
  PackInputs in;
  in.folder.Write("night.dat", Bytes(2u << 20, 0));
  ASSERT_EQ(Saverkit(in.Args()).exitStatus, 0);
  const format::PayloadEntry data = LoadPayloadImage(in.out).entries.at(1);
  EXPECT_GT(data.ExpandedSize, 23u * data.StoredSize);
  EXPECT_EQ(Saverkit({"test", in.out}).exitStatus, 0);
  const std::string out = in.folder.path() + "/out";
  const auto run = Saverkit({"extract", in.out, "-d", out});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(fs::file_size(out + "/Night Sky.DAT"), 2u << 20);
}

// A regular file whose size the system cannot tell still gets a reason.
TEST(HostileImage, AFileWithoutASizeIsRefusedWithAReason) {
  const auto run = Saverkit({"list", "/proc/self/status"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "saverkit: /proc/self/status: cannot open the file: its size cannot be found\n");
}

TEST(HostileImage, APipeIsRefusedWithoutBlocking) {
  testsupport::TempFolder folder;
  const std::string pipe = folder.path() + "/pipe.exe";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"list", pipe}, {"test", pipe}, {"extract", pipe, "-d", folder.path() + "/out"}}) {
    const auto run = Saverkit(args);
    EXPECT_EQ(run.exitStatus, 1) << args[0];
    EXPECT_EQ(run.err, "saverkit: " + pipe + ": cannot open the file: not a regular file\n");
  }
}

}  // namespace
