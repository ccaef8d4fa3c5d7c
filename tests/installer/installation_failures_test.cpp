// Installations that go wrong: files not written whole (each entry still
// tried and logged, the failures named instead of "Installation Complete!",
// nothing activated or started), unsafe names, texts too long for buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "installer_fixture.h"

namespace {

using namespace installertest;

const Sky sky;
const std::string kSaver = R"T(C:\WINDOWS\Sky.scr\r\n)T";
const std::string kDat = R"T(C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT\r\n)T";
const std::string kUninstaller = R"T(C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE\r\n)T";

TEST(FilesNotWrittenWhole, AreNamedAndNothingIsActivated) {
  const std::string start = sky.Confirmation() + kOk + sky.Progress();
  const std::string saver = Written(sky.Saver(), 3000);
  const std::string dat = Written(sky.Folder() + "\\Sky.DAT", 5000);
  const std::string uninstaller = Written(sky.Folder() + "\\UNINSTAL.EXE", 700);
  struct Case {
    const char* name;
    hostwin::MachineSettings settings;
    bool directoriesInTheWay;  // where the data file and the uninstaller go
    imagewriter::ManifestContents manifest;
    std::string expected;
  };
  std::vector<Case> cases = {
      {"a directory stands where the files go", {}, true, ThreeEntryImage("Sky"),
       start + sky.LogOpened() + saver + sky.Registration() + sky.LogClosed(109) +
           sky.Failed(kDat + kUninstaller)},
      // The uninstaller's data is the last in the image; it claims 2048 bytes more.
      {"stored data ends early", {}, false, ThreeEntryImage("Sky"),
       sky.Confirmation("10,748") + kOk + sky.Progress() + sky.Directories() + sky.LogOpened() +
           saver + dat + sky.Registration(11) + uninstaller + sky.LogClosed(109) +
           sky.Failed(kUninstaller)},
      // Data beyond the end of the image is not decoded: the decoder would
      // make up the whole expanded size from nothing.
      {"compressed data beyond the end of the image", {}, false, ThreeEntryImage("Sky"),
       start + sky.Directories() + sky.LogOpened() + saver + sky.Registration() + uninstaller +
           sky.LogClosed(109) + sky.Failed(kDat)},
      {"no copy buffer", {}, false, ThreeEntryImage("Sky"),
       start + sky.Directories() + sky.LogOpened() + dat + sky.Registration() +
           sky.LogClosed(109) + sky.Failed(kSaver + kUninstaller)},
      // 4000 bytes fit: the screen saver's 3000, then 980 of the data file
      // (whose buffered write fails only when it is closed) and the log's
      // first line.
      {"disk full", {}, false, ThreeEntryImage("Sky"),
       start + sky.Directories() + sky.LogOpened() + saver + R"T(file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT
disk full C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT 980 bytes
disk full C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG
)T" + sky.Registration() + R"T(file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE
disk full C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE 0 bytes
)T" + sky.LogClosed(20) +
           sky.Failed(kDat + kUninstaller + R"T(C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG\r\n)T")},
  };
  cases[1].manifest.entries[2].storedSize = 700 + 2048;
  cases[2].manifest.entries[1].dataOffset = 0x100000;
  cases[3].settings.failLocalAllocCalls = {1};
  cases[4].settings.writableBytes = 4000;
  for (const Case& c : cases) {
    Machine machine(c.settings);
    if (c.directoriesInTheWay) {
      machine.PutDirectory("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT");
      machine.PutDirectory("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE");
    }
    const auto result = machine.Install(c.manifest, {"ok", "ok", "ok"});
    ExpectTranscript(result, c.expected, c.name);
    EXPECT_EQ(ChangesOf(result).find("system.ini"), std::string::npos) << c.name;
  }
}

// A write error inside the decoder's own blocks of 16 KiB ends the program
// at once with exit code 1, and with a message unless under /S (the copy
// buffer is left to the system).
TEST(FilesNotWrittenWhole, DecoderWriteErrorEndsTheProgram) {
  const std::string written = sky.Directories() + sky.LogOpened() + Written(sky.Saver(), 3000) +
                              R"T(file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT
disk full C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT
)T";
  const std::string end = "memory: 1 block not freed at exit\nexit 1\n";
  const struct {
    std::string commandLine;
    std::vector<std::string> answers;
    std::string expected;
  } cases[] = {
      {"", {"ok", "ok"},
       sky.Confirmation("43,700") + kOk + sky.Progress() + written +
           "message box \"Error\" \"Write error in function WritePtr()\" MB_OK|MB_ICONHAND -> ok = IDOK\n" + end},
      {"/S", {}, written + end},  // no progress dialog either
  };
  for (const auto& c : cases) {
    hostwin::MachineSettings settings;
    settings.writableBytes = 3000 + 10000;
    Machine machine(settings);
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.entries[1] = Compressed(SampleBytes(40000, 'd'));
    ExpectTranscript(machine.Install(manifest, c.answers, c.commandLine), c.expected, c.commandLine);
  }
}

TEST(UnsafeNames, MediaNamesThatLeaveTheTitleDirectoryAreNotWritten) {
  Machine machine;
  imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries.push_back(Media("\\..\\..\\A.MID", "a", 0));
  manifest.entries.push_back(Media("/B.MID", "b", 0));
  manifest.entries.push_back(Media(":C.MID", "c", 0));
  manifest.entries.push_back(Media(".MID", "d", 0));
  const auto result = machine.Install(manifest, {"ok", "ok", "ok"});
  const std::string folder = sky.Folder() + "\\";
  ExpectTranscript(
      result, sky.Confirmation("8,704") + kOk + sky.Progress() + sky.Directories() + sky.Files() +
                  Written(folder + "JUKE0026.MID", 1) + "MCI open \"" + folder +
                  "JUKE0026.MID\" = 0 device 1\nMCI close device 1 = 0\n" + sky.LogClosed(156) +
                  sky.Failed(R"T(C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0023\..\..\A.MID\r\nC:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0024/B.MID\r\nC:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0025:C.MID\r\n)T"));
  EXPECT_FALSE(machine.Exists("C:\\WINDOWS\\A.MID"));
  EXPECT_FALSE(machine.Exists("C:\\A.MID"));
}

// A title is one plain name: ".." would put every file elsewhere, blanks
// only would put them into the shared product folder itself, and Windows
// would change or misread a trailing dot, dots and blanks only, device
// names, control characters and a leading blank. Nothing is written, no
// directory made, no key registered, and the user is told.
TEST(UnsafeNames, TitlesTheTitleRuleRefusesWriteNothing) {
  const char* const titles[] = {"..", "   ", "Evil.", ". .", "CON", "COM\xB9", "CONIN$",
                                "Sky\x1B[2J", "Sky\r\nOther", " Sky"};
  for (const char* title : titles) {
    SCOPED_TRACE(title);
    Machine machine;
    const auto result = machine.Install(ThreeEntryImage(title), {"ok", "ok", "ok"});
    EXPECT_EQ(ChangesOf(result), "");
    const std::string transcript = Joined(result.transcript);
    for (const char* action : {"directory create", "file create", "registry", "profile", "WinExec"})
      EXPECT_EQ(transcript.find(action), std::string::npos) << action << "\n" << transcript;
    EXPECT_NE(transcript.find("could not be installed completely"), std::string::npos) << transcript;
    EXPECT_EQ(result.transcript.back(), "exit 5");
  }
}

// Paths over 259 characters are not written; the report shows their end.
TEST(BoundedTexts, PathTooLongIsNotWritten) {
  Sky longTitle;
  longTitle.title = std::string(113, 'L');
  Machine machine;
  imagewriter::ManifestContents manifest = ThreeEntryImage(longTitle.title);
  manifest.entries.push_back(Media(".MID", "mid", 0));
  const auto result = machine.Install(manifest, {"ok", "ok", "ok"});
  const std::string folder = longTitle.Folder() + "\\";
  const std::string dat = folder + longTitle.title + ".DAT";  // 260 characters
  ASSERT_EQ(dat.size(), 260u);
  ExpectTranscript(
      result, longTitle.Confirmation("8,703") + kOk + longTitle.Progress() +
                  longTitle.Directories() + longTitle.LogOpened() +
                  Written(longTitle.Saver(), 3000) + longTitle.Registration() +
                  Written(folder + "UNINSTAL.EXE", 700) + Written(folder + "JUKE0023.MID", 3) +
                  "MCI open \"" + folder + "JUKE0023.MID\" = 0 device 1\nMCI close device 1 = 0\n" +
                  longTitle.LogClosed(444) +
                  longTitle.Failed("..." + dat.substr(dat.size() - 256) + "\\r\\n"));
}

// A caption holds a title of 229 characters; a longer one is shortened
// with "..." so that " Screen Saver Installation" stays whole. The
// confirmation (511 characters) still holds the whole title.
TEST(BoundedTexts, LongTitleIsShortenedInTheCaption) {
  const std::string title(240, 'C');
  Machine machine;
  const auto result = machine.Install(ThreeEntryImage(title), {"cancel"});
  ExpectTranscript(result, "message box \"" + std::string(226, 'C') +
                               "... Screen Saver Installation\" \"This program will install " +
                               title +
                               " Screen Saver to C:\\WINDOWS and will make it your default "
                               "Screen Saver.  This installation will take 8,700 bytes.\" "
                               "MB_OKCANCEL|MB_ICONINFORMATION -> cancel = IDCANCEL\nexit 2\n");
}

// Links planted inside the machine folder are never followed: the stand-in
// fails every call that meets one (ERROR_ACCESS_DENIED), the installer sees
// files it could not write, and nothing outside the machine changes.

// Every name and file below `folder`, with its contents.
std::string Contents(const std::string& folder) {
  std::string all;
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
    all += item.path().string() + "\n";
    if (item.is_regular_file()) {
      std::ifstream in(item.path(), std::ios::binary);
      all += std::string(std::istreambuf_iterator<char>(in), {}) + "\n";
    }
  }
  return all;
}

TEST(LinksInTheMachine, AreNeverFollowed) {
  testsupport::TempFolder outside;
  const std::string victim = outside.Write("victim.txt", std::string("precious"));
  const std::string folder = outside.path();
  const std::string absent = outside.path() + "/absent";
  const std::string inFolder = R"T(C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\)T";
  const std::string folderFiles = inFolder + R"T(Sky.DAT\r\n)T" + inFolder + R"T(UNINSTAL.EXE\r\n)T" +
                                  inFolder + R"T(INSTALL.LOG\r\n)T";
  auto failed = [](const std::string& files) { return sky.Failed(files).substr(kProgressEnd.size()); };
  struct Case {
    const char* name;
    const char* windowsPath;
    std::string target;
    std::string expected;  // the end of the transcript
  };
  const Case cases[] = {
      {"the screen saver", "C:\\WINDOWS\\Sky.scr", victim, failed(kSaver)},
      {"the product folder", "C:\\WINDOWS\\MARLOWEN", folder, failed(folderFiles)},
      {"the Windows directory", "C:\\WINDOWS", folder, failed(kSaver + folderFiles)},
      {"system.ini", "C:\\WINDOWS\\system.ini", victim,
       R"T(profile C:\WINDOWS\system.ini [boot] SCRNSAVE.EXE = "C:\WINDOWS\Sky.scr" (failed: the file cannot be written)
)T" + sky.Installed().substr(sky.Installed().find('\n', sky.Installed().find("[boot] SCRNSAVE.EXE")) + 1)},
      {"the screen saver, dangling", "C:\\WINDOWS\\Sky.scr", absent, failed(kSaver)},
      {"the title folder, dangling", "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky", absent, failed(folderFiles)},
  };
  const std::string before = Contents(outside.path());
  for (const Case& c : cases) {
    Machine machine;
    machine.PutDirectory("C:\\WINDOWS\\MARLOWEN\\VELDRAKE");
    machine.PutLink(c.windowsPath, c.target);
    const auto result = machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
    const std::string transcript = Joined(result.transcript);
    EXPECT_EQ(transcript.substr(transcript.size() - std::min(transcript.size(), c.expected.size())), c.expected)
        << c.name << "\n" << transcript;
    EXPECT_EQ(Contents(outside.path()), before) << c.name;
    EXPECT_TRUE(std::filesystem::is_symlink(hostwin::HostPathInMachine(machine.folder(), c.windowsPath)))
        << c.name;
  }
}

}  // namespace
