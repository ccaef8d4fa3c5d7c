// saverkit verify: the rules it judges effects by (where an installer of
// this kind may write, what an uninstallation may leave behind), our
// releases recognised (the digest that signing leaves unchanged, this
// build's UNINSTAL.EXE by its identity and pinned digest), and the command
// on a sound image (0), the findings an image of our installer program can
// really give (1) and the images it refuses to speak for (2).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/format/manifest_layout.h"
#include "core/format/pe_header_fields.h"
#include "core/imagewriter/manifest_writer.h"
#include "core/imagewriter/pe_image_writer.h"
#include "installer_fixture.h"
#include "run_saverkit.h"
#include "saverkit_version.h"
#include "stub_fixture.h"
#include "temp_files.h"
#include "tool/verify/placement_rule.h"
#include "tool/preview/run_limits.h"
#include "tool/verify/release_identity.h"
#include "tool/verify/uninstall_check.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using installertest::Compressed;
using installertest::Media;
using installertest::SampleBytes;
using installertest::ThreeEntryImage;
using preview::EffectChange;
using preview::InstallationEffects;

InstallationEffects File(EffectChange change, const std::string& path, bool directory = false) {
  InstallationEffects effects;
  effects.files.push_back({change, path, directory, 0, ""});
  return effects;
}

// A value, or the key itself when `name` is null.
InstallationEffects Registry(const std::string& key, const char* name, EffectChange change = EffectChange::kAdded) {
  InstallationEffects effects;
  effects.registry.push_back({change, key, name == nullptr, name == nullptr ? "" : name, 1, {}});
  return effects;
}

InstallationEffects Ini(const std::string& file, const std::string& section, const std::string& key,
                        EffectChange change = EffectChange::kAdded) {
  InstallationEffects effects;
  effects.ini.push_back({change, file, section, key, "C:\\WINDOWS\\SKY~1.SCR"});
  return effects;
}

InstallationEffects Started(const std::string& call, const std::string& detail, bool withSetting = false) {
  InstallationEffects effects = withSetting ? Ini("C:\\WINDOWS\\system.ini", "boot", "SCRNSAVE.EXE") : InstallationEffects();
  effects.started.push_back({call, detail});
  return effects;
}

struct PlacementCase {
  const char* what;
  InstallationEffects effects;
  const char* line;  // nullptr: within the places
};

// (What a sound installation does is within the places: VerifyCommand's
// sound image, which would give a finding for each effect outside them.)
TEST(PlacementRule, EachEffectWithinOrNamedOutside) {
  const std::string uninstall = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::string folder = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky";
  const std::string outside = ": outside the places an installer of this kind writes to";
  const PlacementCase cases[] = {
      {"a media file, other case", File(EffectChange::kAdded, "c:\\windows\\marlowen\\veldrake\\SKY\\JUKE0023.MID"), nullptr},
      {"a folder inside the title folder", File(EffectChange::kAdded, folder + "\\sub", true),
       "folder added C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\sub"},
      {"a file below the title folder", File(EffectChange::kAdded, folder + "\\sub\\x.dll"),
       "file added C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\sub\\x.dll"},
      {"another title's folder", File(EffectChange::kAdded, folder + "line\\x.dat"),
       "file added C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Skyline\\x.dat"},
      {"another screen saver", File(EffectChange::kAdded, "C:\\WINDOWS\\Other.scr"), "file added C:\\WINDOWS\\Other.scr"},
      {"win.ini", File(EffectChange::kChanged, "C:\\WINDOWS\\win.ini"), "file changed C:\\WINDOWS\\win.ini"},
      {"a file removed", File(EffectChange::kRemoved, "C:\\WINDOWS\\Sky.scr"),
       "file removed C:\\WINDOWS\\Sky.scr: an installer of this kind removes nothing"},
      {"its uninstall key", Registry(uninstall + "sky", nullptr), nullptr},
      {"a key on the way", Registry("HKEY_LOCAL_MACHINE\\Software\\Microsoft", nullptr), nullptr},
      {"another title's key", Registry(uninstall + "Sky2", "DisplayName"), "registry added HKEY_LOCAL_MACHINE\\"},
      {"a key below its key", Registry(uninstall + "Sky\\More", nullptr), "registry added HKEY_LOCAL_MACHINE\\"},
      {"a Run value", Registry("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x"),
       "registry added HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run \"x\""},
      {"the desktop's switch", Registry("HKEY_USERS\\Admin\\control panel\\desktop", "ScreenSaveActive"), nullptr},
      {"the desktop key", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop", nullptr), nullptr},
      {"the wallpaper", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop", "Wallpaper"),
       "registry added HKEY_USERS\\Owner\\Control Panel\\Desktop \"Wallpaper\""},
      {"a key below the desktop", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop\\Colors", nullptr),
       "registry added HKEY_USERS\\Owner\\Control Panel\\Desktop\\Colors"},
      {"another [boot] line", Ini("C:\\WINDOWS\\system.ini", "boot", "shell"),
       "profile line added C:\\WINDOWS\\system.ini [boot] shell"},
      {"[boot] of win.ini", Ini("C:\\WINDOWS\\win.ini", "boot", "SCRNSAVE.EXE"),
       "profile line added C:\\WINDOWS\\win.ini [boot] SCRNSAVE.EXE"},
      {"by the short path it set", Started("WinExec", "\"C:\\WINDOWS\\SKY~1.SCR\" SW_SHOW = 33", true), nullptr},
      {"a short path it did not set", Started("WinExec", "\"C:\\WINDOWS\\SKY~1.SCR\" SW_SHOW = 33"),
       "program started: WinExec"},
      {"another program", Started("WinExec", "\"C:\\WINDOWS\\notepad.exe\" SW_SHOW = 33"), "program started: WinExec"},
      {"itself elevated", Started("ShellExecuteA", "\"runas\" \"C:\\DOWNLOAD\\SETUP.EXE\" params \"/ELEVATED-CHILD\" SW_SHOWNORMAL = 42"), nullptr},
      {"the media player's page",
       Started("ShellExecuteA", "\"open\" \"https://www.microsoft.com/windows/windows-media-player\" SW_SHOWMAXIMIZED = 42"),
       nullptr},
      {"another web page", Started("ShellExecuteA", "\"open\" \"http://example.com\" SW_SHOWNORMAL = 42"),
       "program started: ShellExecuteA"},
  };
  const verify::InstallerPlaces places{"C:\\WINDOWS", "Sky", "C:\\DOWNLOAD\\SETUP.EXE"};
  for (const PlacementCase& c : cases) {
    const std::vector<std::string> lines = verify::MisplacedEffects(c.effects, places);
    if (c.line == nullptr) {
      EXPECT_TRUE(lines.empty()) << c.what << ": " << lines.at(0);
    } else {
      ASSERT_EQ(lines.size(), 1u) << c.what;
      EXPECT_EQ(lines[0].rfind(c.line, 0), 0u) << c.what << ": " << lines[0];
      if (lines[0].find("removes nothing") == std::string::npos && lines[0].rfind("program", 0) != 0) {
        EXPECT_NE(lines[0].find(outside), std::string::npos) << lines[0];
      }
    }
  }
}

// A Windows directory at a drive's root gets no second backslash.
TEST(PlacementRule, WindowsDirectoryAtTheRoot) {
  const verify::InstallerPlaces places{"C:\\", "Sky", "C:\\DOWNLOAD\\SETUP.EXE"};
  EXPECT_TRUE(verify::MisplacedEffects(File(EffectChange::kAdded, "C:\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT"), places).empty());
  EXPECT_TRUE(verify::MisplacedEffects(File(EffectChange::kAdded, "C:\\Sky.scr"), places).empty());
  EXPECT_EQ(verify::MisplacedEffects(File(EffectChange::kAdded, "C:\\WINDOWS\\Sky.scr"), places).size(), 1u);
}

TEST(UninstallLeftovers, OnlyTheUninstallersOwnTracesPass) {
  const char* const installerCopy = "C:\\DOWNLOAD\\SETUP.EXE";
  const std::string session = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  const EffectChange added = EffectChange::kAdded;
  const struct {
    InstallationEffects difference;
    bool left;
  } cases[] = {
      {File(added, "C:\\Users\\Ann\\AppData\\Local\\Temp\\UNI1.TMP"), false},
      {File(added, "C:\\Users\\Ann\\AppData\\Local", true), false},  // on the way to Temp
      {File(added, "C:\\WINDOWS\\Temp\\UNI2.TMP"), false},         // the system account's
      {File(added, installerCopy), false},
      {File(added, "C:\\DOWNLOAD", true), false},
      {Registry("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet", nullptr), false},
      {Registry(session, "PendingFileRenameOperations"), false},
      {Registry(session, "PendingFileRenameOperations", EffectChange::kChanged), false},
      // Anything else is a leftover or a loss.
      {File(added, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Temp\\SKY.DAT"), true},  // a title named Temp
      {File(added, "C:\\Temp\\x.tmp"), true},
      {File(added, "C:\\Users\\Ann\\Desktop\\x.tmp"), true},
      {File(added, "C:\\DOWNLOAD\\OTHER.EXE"), true},
      {File(EffectChange::kRemoved, "C:\\Users\\Ann\\AppData\\Local\\Temp\\mine.txt"), true},
      {Registry(session, "BootExecute"), true},
      {Registry(session, "PendingFileRenameOperations", EffectChange::kRemoved), true},
      {Registry("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", nullptr), true},
      {Ini("C:\\WINDOWS\\system.ini", "boot", "SCRNSAVE.EXE", EffectChange::kChanged), true},
  };
  for (const auto& c : cases) {
    const auto lines = verify::LeftoversOf(c.difference, installerCopy);
    EXPECT_EQ(lines.size(), c.left ? 1u : 0u) << (lines.empty() ? "" : lines[0]);
  }
}

// `pe` as signing leaves it: padded to 8 bytes, a certificate table of one
// WIN_CERTIFICATE behind it, the directory entry naming it, a new checksum.
Bytes SignedLike(Bytes pe) {
  format::PeHeaderFields fields;
  EXPECT_TRUE(format::FindPeHeaderFields(pe, &fields));
  pe.resize((pe.size() + 7) / 8 * 8, 0);
  const std::uint32_t offset = static_cast<std::uint32_t>(pe.size());
  const Bytes certificate = {16, 0, 0, 0, 0x00, 0x02, 0x02, 0x00, 1, 2, 3, 4, 5, 6, 7, 8};  // revision 2.0, PKCS#7
  pe.insert(pe.end(), certificate.begin(), certificate.end());
  format::WriteLe32(&pe[fields.securityDirectory], offset);
  format::WriteLe32(&pe[fields.securityDirectory + 4], static_cast<std::uint32_t>(certificate.size()));
  format::WriteLe32(&pe[fields.checksum], 0x12345678);
  return pe;
}

TEST(ReleaseDigest, SigningLeavesItAndAnyOtherByteChangesIt) {
  const Bytes program = packtest::MakeProgram(3);
  ASSERT_EQ(program.size() % 8, 0u);  // as a linker's output is
  const std::string digest = verify::ReleaseDigest(program);
  ASSERT_EQ(digest.size(), 64u);
  EXPECT_EQ(verify::ReleaseDigest(SignedLike(program)), digest);

  Bytes changed = program;
  changed[changed.size() - 1] ^= 1;
  EXPECT_NE(verify::ReleaseDigest(changed), digest);
  Bytes trailing = SignedLike(program);
  trailing.push_back(0);  // data after the table is no signing's
  EXPECT_NE(verify::ReleaseDigest(trailing), digest);
  // No PE, or a table where signing never puts one: no digest.
  EXPECT_EQ(verify::ReleaseDigest(Bytes{'M', 'Z'}), "");
  Bytes amongHeaders = SignedLike(program);
  format::PeHeaderFields fields;
  ASSERT_TRUE(format::FindPeHeaderFields(amongHeaders, &fields));
  format::WriteLe32(&amongHeaders[fields.securityDirectory], 8);
  EXPECT_EQ(verify::ReleaseDigest(amongHeaders), "");
}

TEST(UninstallerRelease, ThisBuildsUninstallerIsOursAndAChangedOneIsNot) {
  if (!std::filesystem::exists(SAVERKIT_WIN32_UNINSTALLER)) GTEST_SKIP() << "no win32 build: " << SAVERKIT_WIN32_UNINSTALLER;
  const Bytes ours = testsupport::ReadFileBytes(SAVERKIT_WIN32_UNINSTALLER);
  const verify::UninstallerRelease release = verify::RecogniseUninstaller(ours);
  EXPECT_TRUE(release.ours) << release.why
                            << " (after a change to the uninstaller: scripts/check-demo-checksum.sh --update)";
  EXPECT_EQ(release.identity, "Saverkit " SAVERKIT_VERSION);
  EXPECT_TRUE(verify::RecogniseUninstaller(SignedLike(ours)).ours);

  Bytes changed = ours;
  changed[0x600] ^= 0x40;  // in the code, far from the identity
  EXPECT_EQ(verify::RecogniseUninstaller(changed).why,
            "its bytes are not those of Saverkit " SAVERKIT_VERSION "'s UNINSTAL.EXE");
  EXPECT_EQ(verify::RecogniseUninstaller(packtest::MakeProgram(4)).why, "it carries no SAVERKIT identity");
}

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
      {"too many entries to run",
       [] {
         imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
         manifest.entries.resize(preview::kMostEntriesRun + 1, manifest.entries[2]);
         return Ours(manifest);
       },
       2, {}, "the image declares 513 entries; preview and verify run images of at most 512 in the stand-in"},
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
