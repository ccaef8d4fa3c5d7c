// Whole installations through the Win32 stand-in, each transcript compared
// whole: what the user sees and answers, and what the installer does to the
// machine, in order; and installations that go wrong: files not written
// whole (each entry still tried and logged, the failures named instead of
// "Installation Complete!", nothing activated or started), unsafe names,
// texts too long for buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "installer_fixture.h"

namespace {

using namespace installertest;

const Sky sky;
const std::string kReplace =
    R"T(message box "Replace Screen Saver?" "There is already a screen saver by the same name (Sky.SCR) installed on your system.  Would you like to replace it?" MB_YESNO|MB_ICONQUESTION)T";

std::string LicenceOpen(const std::string& shown) {
  return "dialog 106 open \"License Agreement\" 593x516\ndialog 106 item 1009 text \"" + shown +
         "\"\ndialog 106 move 216,126 593x516\n";
}
std::string LicenceEnd(const std::string& answerAndResult, int end) {
  return "dialog 106 wait focus 1009 (no selection) -> " + answerAndResult + "\ndialog 106 end " +
         std::to_string(end) + "\n" + (end == 2 ? "exit 2\n" : "");
}
std::string DiskWarning(const std::string& needed, const std::string& available) {
  return "message box \"Disk Full\" \"You will need " + needed +
         " kilobytes free in your Windows directory to install this screen saver.  It appears "
         "that you only have " + available +
         " kilobytes free on this drive.  Would you like to continue the installation?\" "
         "MB_OKCANCEL|MB_ICONINFORMATION";
}

// A second installation over the first opens the log and the key again and
// appends to the log.
TEST(Installation, AnsweredOkThroughoutInstallsEverythingAndASecondRunAppendsToTheLog) {
  Machine machine;
  const auto result = machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
  ExpectTranscript(result, sky.Confirmation() + kOk + sky.Installed());
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\Sky.scr"), SampleBytes(3000, 's'));
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT"), SampleBytes(5000, 'd'));
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE"),
            SampleBytes(700, 'u'));
  const std::string once =
      "C:\\WINDOWS\\Sky.scr\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE\r\n";
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG"), once);

  const auto second = machine.Install(ThreeEntryImage("Sky"), {"yes", "ok", "ok", "ok"});
  EXPECT_EQ(second.transcript.at(LineIndex(second, "file open ")),
            "file open C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG");
  EXPECT_EQ(second.transcript.at(LineIndex(second, "registry create ")),
            "registry create HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
            "Uninstall\\Sky = opened");
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG"), once + once);
}

// Every "no" along the way ends the installer at once: no further message,
// nothing written; exit code 3 for the disk warning, 2 for the others. Only
// a shown licence can be accepted: a dialog that cannot be created counts
// as declined, without a message.
TEST(Installation, StopsWithoutChangesAtEachQuestion) {
  const std::string licenceOpen = sky.Confirmation() + kOk + LicenceOpen("Terms.\\r\\nUse it kindly.");
  struct Case {
    const char* name;
    bool existing;             // a Sky.scr lies in the Windows directory
    std::uint64_t freeBytes;
    std::vector<std::string> answers;
    std::string expected;
    bool licenceDialogFails = false;
  } cases[] = {
      {"no to replacing", true, 20ull << 30, {"no"}, kReplace + " -> no = IDNO\nexit 2\n"},
      {"escape to the disk warning", false, 8 * 1024, {"escape"},
       DiskWarning("8", "8") + " -> escape = IDCANCEL\nexit 3\n"},
      {"cancel to the confirmation", false, 20ull << 30, {"cancel"},
       sky.Confirmation() + " -> cancel = IDCANCEL\nexit 2\n"},
      {"decline", false, 20ull << 30, {"ok", "decline"}, licenceOpen + LicenceEnd("decline = command 2", 2)},
      {"escape in the licence", false, 20ull << 30, {"ok", "escape"},
       licenceOpen + LicenceEnd("escape = command 2", 2)},
      {"close box of the licence", false, 20ull << 30, {"ok", "close"},
       licenceOpen + LicenceEnd("close = close box", 2)},
      {"licence dialog that cannot be created", false, 20ull << 30, {"ok"},
       sky.Confirmation() + kOk + "dialog 106 cannot be created\nexit 2\n", true},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.freeBytes = c.freeBytes;
    if (c.licenceDialogFails) settings.failingDialogs = {106};
    Machine machine(settings);
    if (c.existing) machine.Put("C:\\WINDOWS\\Sky.scr", "old");
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.license = "Terms.\r\nUse it kindly.";
    const auto result = machine.Install(manifest, c.answers);
    ExpectTranscript(result, c.expected, c.name);
    EXPECT_EQ(ChangesOf(result), "") << c.name;
  }
}

// An accepted licence goes on with the installation; a licence ends at its
// first zero byte and the longest one is shown whole.
TEST(Installation, LicenceTexts) {
  struct Case {
    const char* name;
    std::string licence;
    std::string shown;  // the text box's text as the transcript shows it
    std::vector<std::string> answers;
    std::string rest;   // after the licence dialog
  } cases[] = {
      {"accepted, shown unselected", "Terms.\r\nUse it kindly.", "Terms.\\r\\nUse it kindly.",
       {"ok", "accept", "ok", "ok"}, LicenceEnd("accept = command 1", 1) + sky.Installed()},
      {"ends at a zero byte", std::string("Terms.\0hidden", 13), "Terms.", {"ok", "decline"},
       LicenceEnd("decline = command 2", 2)},
      {"longest licence, whole", std::string(65535, 'a'), std::string(65535, 'a'), {"ok", "decline"},
       LicenceEnd("decline = command 2", 2)},
  };
  for (const Case& c : cases) {
    Machine machine;
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.license = c.licence;
    const auto result = machine.Install(manifest, c.answers);
    ExpectTranscript(result, sky.Confirmation() + kOk + LicenceOpen(c.shown) + c.rest, c.name);
  }
}

TEST(Installation, DiskSpaceWarning) {
  const std::string confirmationCancelled = sky.Confirmation() + " -> cancel = IDCANCEL\nexit 2\n";
  auto warning = [](const std::string& needed, const std::string& available) {
    return DiskWarning(needed, available) + " -> cancel = IDCANCEL\nexit 3\n";
  };
  using Query = hostwin::MachineSettings::FreeSpaceExQuery;
  struct Case {
    const char* name;
    std::uint64_t freeBytes;
    bool known;
    Query query;
    std::uint32_t bigEntry;  // 0: the image as it is; else a data file this large
    std::string expected;
    std::vector<std::string> answers = {"cancel"};
  } cases[] = {
      // 8,700 bytes need 8 kilobytes.
      {"as much free as needed", 8 * 1024, true, Query::kPresent, 0, warning("8", "8")},
      {"one kilobyte more", 9 * 1024, true, Query::kPresent, 0, confirmationCancelled},
      {"free space unknown", 0, false, Query::kPresent, 0, confirmationCancelled},
      // The older query counts whole clusters (4 KiB on this machine).
      {"older query when the newer is missing", 8 * 1024, true, Query::kMissing, 0,
       warning("8", "8")},
      {"older query when the newer fails", 12 * 1024, true, Query::kFails, 0,
       confirmationCancelled},
      {"numbers with separators", 1000000ull * 1024, true, Query::kPresent, 1234567890,
       warning("1,205,636", "1,000,000")},
      // 2^32 kilobytes do not fit 32 bits; they must not wrap to nothing.
      {"4 TiB free", 4ull << 40, true, Query::kPresent, 0, confirmationCancelled},
      {"4 TiB and 8 KiB by the older query", (4ull << 40) + 8 * 1024, true, Query::kMissing, 0,
       confirmationCancelled},
      // Ok to the warning goes on to the confirmation.
      {"warning answered ok", 0, true, Query::kPresent, 0,
       DiskWarning("8", "0") + kOk + confirmationCancelled, {"ok", "cancel"}},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.freeBytes = c.freeBytes;
    settings.freeSpaceKnown = c.known;
    settings.freeSpaceExQuery = c.query;
    Machine machine(settings);
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    if (c.bigEntry != 0) manifest.entries[1].expandedSize = c.bigEntry;
    ExpectTranscript(machine.Install(manifest, c.answers), c.expected, c.name);
  }
}

// Media files: .MPG cannot be played here, .MP is already inside ".MPG"
// in the list, .MID plays; each type is listed once. The screen saver is
// neither activated nor started.
imagewriter::ManifestContents MediaImage() {
  imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries.push_back(Media(".MPG", "mpg1", 0));
  manifest.entries.push_back(Media(".MP", "mp", '_'));
  manifest.entries.push_back(Media(".MID", "mid", ' '));
  manifest.entries.push_back(Media(".MPG", "mpg2", 0));
  return manifest;
}

TEST(Installation, UnsupportedMediaTypesOfferTheDownloadPage) {
  const std::string folder = sky.Folder() + "\\";
  auto unplayable = [&folder](const std::string& name, std::size_t bytes) {
    return Written(folder + name, bytes) + "MCI open \"" + folder + name +
           "\" = 281 MCIERR_EXTENSION_NOT_FOUND\nMCI open \"MPEGVideo\" \"" + folder + name +
           "\" = 296 MCIERR_INVALID_FILE\n";
  };
  const std::string extraction =
      sky.Confirmation("8,713") + kOk + sky.Progress() + sky.Directories() + sky.Files() +
      unplayable("JUKE0023.MPG", 4) + unplayable("JUK_0024.MP", 2) +
      Written(folder + "FILE0025.MID", 3) + "MCI open \"" + folder +
      "FILE0025.MID\" = 0 device 1\nMCI close device 1 = 0\n" + unplayable("JUKE0026.MPG", 4) +
      sky.LogClosed(296) + kProgressEnd;
  const std::string page = "\"https://www.microsoft.com/windows/windows-media-player\"";
  struct Case {
    const char* name;
    int shellResult;
    std::vector<std::string> answers;
    std::string afterExtraction;
  } cases[] = {
      {"ok opens the page", 42, {"ok", "ok", "ok"},
       CodecsMessage(".MPG\\r\\n", "ok = IDOK") + "ShellExecuteA \"open\" " + page +
           " SW_SHOWMAXIMIZED = 42\n"},
      {"cancel opens nothing", 42, {"ok", "cancel", "ok"},
       CodecsMessage(".MPG\\r\\n", "cancel = IDCANCEL")},
      {"a page that cannot be opened is reported", 2, {"ok", "ok", "ok", "ok"},
       CodecsMessage(".MPG\\r\\n", "ok = IDOK") + "ShellExecuteA \"open\" " + page +
           " SW_SHOWMAXIMIZED = 2\nmessage box " + page +
           " \"Could not connect to this site.\" MB_OK|MB_ICONHAND -> ok = IDOK\n"},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.mediaAsMpegVideo = {".MP3"};
    settings.shellExecuteResult = c.shellResult;
    Machine machine(settings);
    const auto result = machine.Install(MediaImage(), c.answers);
    ExpectTranscript(result, extraction + c.afterExtraction + kInfoDialog + "exit 6\n", c.name);
    EXPECT_EQ(ChangesOf(result).find("system.ini"), std::string::npos) << c.name;
  }
}

// The missing types' message lists each type once, a shorter type before a
// longer one that starts with it too; of more types than fit, what fits
// (508 of 511 characters: a 31st would not fit with the "...") and "...".
// The screen saver is not activated.
TEST(Installation, TheMissingTypesMessageListsEachTypeOnceAndWhatFits) {
  std::vector<imagewriter::EntryContents> fifty;
  std::string thirty;
  for (int i = 0; i < 50; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, ".X%02d", i);
    fifty.push_back(Media(name, "x", 0));
    if (i < 30) thirty += std::string(name) + "\\r\\n";
  }
  struct Case {
    const char* name;
    std::vector<imagewriter::EntryContents> media;
    std::string listed;
  } cases[] = {
      {"a shorter type before a longer one",
       {Media(".MP", "mp", 0), Media(".MPG", "mpg", 0), Media(".MP", "mp", 0)},
       ".MP\\r\\n.MPG\\r\\n"},
      {"more types than fit", fifty, thirty + "...\\r\\n"},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.mediaAsMpegVideo = {".MP3"};
    Machine machine(settings);
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.entries.insert(manifest.entries.end(), c.media.begin(), c.media.end());
    const auto result = machine.Install(manifest, {"ok", "cancel", "ok"});
    EXPECT_EQ(result.transcript.at(LineIndex(result, "message box \"Missing")) + "\n",
              CodecsMessage(c.listed, "cancel = IDCANCEL"))
        << c.name << "\n" << Joined(result.transcript);
    EXPECT_EQ(ChangesOf(result).find("system.ini"), std::string::npos) << c.name;
  }
}

// Titles and Windows directories: trailing blanks are cut; only the ".scr"
// is cut, the dots of a title stay in every name; a Windows directory that
// is a drive root gets no second backslash and the confirmation shows it as
// the system gives it; an existing screen saver is found whatever its case.
TEST(Installation, NamesFollowTheTitleAndTheWindowsDirectory) {
  const std::string replace = kReplace + " -> yes = IDYES\n";
  Sky dots;
  dots.title = "Sky.Night.v2";
  Sky root;
  root.windows = "C:\\";
  struct Case {
    const char* name;
    std::string title;
    std::string windows;
    const char* existing;  // a screen saver already there, or nullptr
    std::string expected;
  } cases[] = {
      {"trailing blanks", "Sky   ", "C:\\WINDOWS", nullptr,
       sky.Confirmation() + kOk + sky.Installed()},
      {"lower-case screen saver", "Sky  ", "C:\\WINDOWS", "C:\\WINDOWS\\sky.scr",
       replace + sky.Confirmation() + kOk + sky.Installed(109, "C:\\WINDOWS\\sky.scr")},
      {"dots", dots.title, "C:\\WINDOWS", nullptr,
       dots.Confirmation() + kOk + dots.Installed(145, "C:\\WINDOWS\\SKYNIG~1.SCR")},
      {"drive root", "Sky", "C:\\", "C:\\sky.SCR",
       replace + root.Confirmation() + kOk + root.Installed(85, "C:\\sky.SCR")},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.windowsDirectory = c.windows;
    Machine machine(settings);
    std::vector<std::string> answers = {"ok", "ok", "ok"};
    if (c.existing) {
      machine.Put(c.existing, "old");
      answers.insert(answers.begin(), "yes");
    }
    ExpectTranscript(machine.Install(ThreeEntryImage(c.title), answers), c.expected, c.name);
    // The screen saver that was there is the one replaced.
    if (c.existing) {
      EXPECT_EQ(machine.Read(c.existing).size(), 3000u) << c.name;
    }
  }
}

TEST(Installation, WindowThatCannotBeCreatedEndsTheProgram) {
  hostwin::MachineSettings settings;
  settings.windowCreationFails = true;
  Machine machine(settings);
  const auto result = machine.Install(ThreeEntryImage("Sky"), {});
  ExpectTranscript(result, "window \"QUORInst\" cannot be created\nexit 4\n");
}

// ------------------------------------------------------- what goes wrong
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

// A title the title rule refuses (its classes are pinned by the rule's own
// tests): ".." would put every file elsewhere, blanks only (cut to nothing)
// into the shared product folder itself. Nothing is written, no directory
// made, no key registered, and the user is told.
TEST(UnsafeNames, TitlesTheTitleRuleRefusesWriteNothing) {
  const char* const titles[] = {"..", "   ", "Sky\r\nOther"};
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

// The names in `folder`, which holds victim.txt alone (so anything written
// there shows among them), and victim.txt's bytes.
std::string Outside(const std::string& folder) {
  std::string state;
  for (const auto& item : std::filesystem::directory_iterator(folder)) state += item.path().string() + "\n";
  return state + testsupport::FileText(folder + "/victim.txt");
}

TEST(LinksInTheMachine, AreNeverFollowed) {
  testsupport::TempFolder outside;
  const std::string victim = outside.Write("victim.txt", std::string("precious"));
  const std::string folder = outside.path();
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
  };
  const std::string before = Outside(outside.path());
  for (const Case& c : cases) {
    Machine machine;
    machine.PutDirectory("C:\\WINDOWS\\MARLOWEN\\VELDRAKE");
    machine.PutLink(c.windowsPath, c.target);
    const auto result = machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
    const std::string transcript = Joined(result.transcript);
    EXPECT_EQ(transcript.substr(transcript.size() - std::min(transcript.size(), c.expected.size())), c.expected)
        << c.name << "\n" << transcript;
    EXPECT_EQ(Outside(outside.path()), before) << c.name;
    EXPECT_TRUE(std::filesystem::is_symlink(hostwin::HostPathInMachine(machine.folder(), c.windowsPath)))
        << c.name;
  }
}

}  // namespace
