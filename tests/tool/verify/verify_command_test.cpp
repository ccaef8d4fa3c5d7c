// saverkit verify as the user runs it: a sound image (0), the findings an
// image of our installer program can really give (1), including a
// decompression bomb that costs no more than the tool's work budget, and the
// images it refuses to speak for (2).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/imagewriter/manifest_writer.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "saverkit_version.h"
#include "temp_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using installertest::Compressed;
using installertest::Media;
using installertest::SampleBytes;
using installertest::ThreeEntryImage;

Bytes WithIdentity(const imagewriter::ManifestContents& manifest, const std::string& identity) {
  std::vector<imagewriter::ResourceItem> resources;
  if (!identity.empty())
    resources.push_back({imagewriter::ResourceKey::Number(10), imagewriter::ResourceKey::Named("SAVERKIT"), 1033,
                         Bytes(identity.begin(), identity.end())});
  return imagewriter::BuildInstallerImage(manifest, resources);
}

Bytes Ours(const imagewriter::ManifestContents& manifest) { return WithIdentity(manifest, "Saverkit " SAVERKIT_VERSION); }

struct VerifyCase {
  const char* what;
  std::function<Bytes()> image;
  int status;
  std::vector<std::string> out;  // lines of standard output, in order
  std::string err;               // the one line on standard error (2)
};

TEST(VerifyCommand, SoundFindingsAndRefusals) {
  const std::string folder = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\";
  const VerifyCase cases[] = {
      {"sound", [] { return Ours(ThreeEntryImage("Sky")); }, 0,
       {"installer program: Saverkit " SAVERKIT_VERSION ", one of our releases",
        "installed in a fresh stand-in machine: exit code 0 (installed (and activated where every media type plays))",
        "uninstall: not checked: UNINSTAL.EXE is not one of our releases (it is no PE program)",
        "IMAGE: verified: 3 installed files hold their entries' bytes, "},
       ""},
      {"compressed stream cut short",
       [] {
         imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
         manifest.entries[1].stored.resize(manifest.entries[1].stored.size() / 2);
         return Ours(manifest);
       },
       1,
       {"finding: entry 1 (" + folder + "Sky\\Sky.DAT): the installed file (5000 bytes) is not the entry's bytes (",
        "IMAGE: 1 finding"},
       ""},
      {"two entries to one file",
       [] {
         imagewriter::ManifestContents manifest = ThreeEntryImage("JUKE0023");
         manifest.entries.push_back(Media(".DAT", SampleBytes(90, 'm')));
         return Ours(manifest);
       },
       1,
       {"finding: entry 1 (" + folder + "JUKE0023\\JUKE0023.DAT): replaced by entry 3, which the installer writes to the same file",
        "IMAGE: 1 finding"},
       ""},
      {"decompression bomb",
       [] {
         imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
         manifest.entries[1].expandedSize = 0x7FFFFF00u;
         return Ours(manifest);
       },
       1,
       {"finding: the installer ended with exit code 1 (the decoder could not write a file)",
        "finding: entry 1 (" + folder + "Sky\\Sky.DAT): the installed file (",
        "finding: entry 2 (" + folder + "Sky\\UNINSTAL.EXE): not installed", "IMAGE: 3 findings"},
       ""},
      {"no identity", [] { return WithIdentity(ThreeEntryImage("Sky"), ""); }, 2, {},
       "its installer program carries no identity of ours, not one of our releases; nothing verified"},
      {"another release", [] { return WithIdentity(ThreeEntryImage("Sky"), "Saverkit 9.8.7"); }, 2, {},
       "its installer program is \"Saverkit 9.8.7\", not one of our releases; nothing verified"},
      {"no PE", [] { return Bytes{'j', 'u', 'n', 'k'}; }, 2, {}, "not a PE image"},
      {"table cut short",
       [] {
         Bytes image = Ours(ThreeEntryImage("Sky"));
         const std::string text = "Sky";
         // Cut inside the entry table, just behind the title field.
         const auto title = std::search(image.begin(), image.end(), text.begin(), text.end());
         image.resize(static_cast<std::size_t>(title - image.begin()) + 260 + 2 + 10);
         return image;
       },
       2, {}, "damaged"},
  };
  testsupport::TempFolder temp;
  for (const VerifyCase& c : cases) {
    const std::string image = temp.Write("setup.exe", c.image());
    const auto run = Saverkit({"verify", image});
    EXPECT_EQ(run.exitStatus, c.status) << c.what << "\n" << run.out << run.err;
    std::size_t at = 0;
    for (std::string line : c.out) {
      if (line.rfind("IMAGE", 0) == 0) line.replace(0, 5, image);
      at = run.out.find(line, at);
      EXPECT_NE(at, std::string::npos) << c.what << ": no line " << line << " in order in\n" << run.out;
      if (at == std::string::npos) break;
      EXPECT_TRUE(at == 0 || run.out[at - 1] == '\n') << c.what << ": " << line;
    }
    // The findings expected, and no more.
    std::size_t findings = 0;
    for (std::size_t from = run.out.find("\nfinding: "); from != std::string::npos; from = run.out.find("\nfinding: ", from + 1))
      ++findings;
    EXPECT_EQ(findings, std::count_if(c.out.begin(), c.out.end(), [](const std::string& l) { return l.rfind("finding: ", 0) == 0; }))
        << c.what << "\n" << run.out;
    if (c.status == 2) {
      EXPECT_TRUE(FailedWith(run, 2, c.err)) << c.what;
      EXPECT_TRUE(run.out.empty()) << c.what << ": " << run.out;
    }
  }
}

// Our UNINSTAL.EXE, recognised, runs through the registered command and
// leaves the machine as it was.
TEST(VerifyCommand, OurUninstallerLeavesTheMachineAsItWas) {
  if (!std::filesystem::exists(SAVERKIT_WIN32_UNINSTALLER)) GTEST_SKIP() << "no win32 build: " << SAVERKIT_WIN32_UNINSTALLER;
  const Bytes uninstaller = testsupport::ReadFileBytes(SAVERKIT_WIN32_UNINSTALLER);
  imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries[2] = Compressed(std::string(uninstaller.begin(), uninstaller.end()));
  testsupport::TempFolder temp;
  const auto run = Saverkit({"verify", temp.Write("setup.exe", Ours(manifest))});
  EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("\nuninstall: the machine is back as it was\n"),
            std::string::npos)
      << run.out;
}

}  // namespace
