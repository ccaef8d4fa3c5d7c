// Whole installations through the Win32 stand-in, each transcript compared
// whole: what the user sees and answers, and what the installer does to the
// machine, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer_fixture.h"

namespace pack = imagewriter;

namespace {

using namespace installertest;

TEST(Installation, AnsweredOkThroughoutInstallsEverything) {
  Machine machine;
  const auto result = machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
  ExpectTranscript(result, kSkyConfirmation + R"T( -> ok = IDOK
cursor IDC_WAIT
dialog 103 open "" 287x128
dialog 103 text "Sky Screen Saver Installation"
dialog 103 item 1001 text "Sky Screen Saver"
dialog 103 move 369,320 287x128
dialog 103 paint "Installing" "Please Wait..." "Sky Screen Saver"
directory create C:\WINDOWS\MARLOWEN
directory create C:\WINDOWS\MARLOWEN\VELDRAKE
directory create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG
file create C:\WINDOWS\Sky.scr
file close C:\WINDOWS\Sky.scr 3000 bytes
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\Sky.DAT 5000 bytes
registry create HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky = created
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "DisplayName" REG_SZ "Sky Screen Saver" 17 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "UninstallString" REG_SZ "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE" 46 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "DisplayIcon" REG_SZ "C:\WINDOWS\Sky.scr" 19 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "EstimatedSize" REG_DWORD 0x00000009
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "NoModify" REG_DWORD 0x00000001
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "NoRepair" REG_DWORD 0x00000001
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE 700 bytes
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG 109 bytes
profile C:\WINDOWS\system.ini [boot] SCRNSAVE.EXE = "C:\WINDOWS\Sky.scr"
SystemParametersInfoA SPI_SETSCREENSAVEACTIVE 1 SPIF_UPDATEINIFILE = TRUE
dialog 103 end 1
cursor IDC_ARROW
message box "Sky Screen Saver Installation" "Installation Complete!" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK
dialog 107 open "Saverkit Studio Info" 314x274
dialog 107 move 355,247 314x274
dialog 107 wait focus 1 -> ok = command 1
dialog 107 end 1
WinExec "C:\WINDOWS\Sky.scr" SW_SHOW = 33
exit 0
)T");
  EXPECT_EQ(result.exitCode, 0);
  const pack::ManifestContents manifest = ThreeEntryImage("Sky");
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\Sky.scr"),
            std::string(manifest.entries[0].stored.begin(), manifest.entries[0].stored.end()));
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT"), SampleBytes(5000, 'd'));
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE"),
            SampleBytes(700, 'u'));
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG"),
            "C:\\WINDOWS\\Sky.scr\r\n"
            "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT\r\n"
            "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE\r\n");
}

// The progress dialog shows its lines before the extraction, which lets no
// message through, writes anything; the uninstaller is registered before
// its file is written.
TEST(Installation, PaintsFirstAndRegistersTheUninstallerBeforeWritingIt) {
  Machine machine;
  const auto result = machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
  const std::size_t painted =
      LineIndex(result, "dialog 103 paint \"Installing\" \"Please Wait...\" \"Sky Screen Saver\"");
  ASSERT_LT(painted, result.transcript.size());
  EXPECT_LT(painted, LineIndex(result, "directory create "));
  EXPECT_LT(painted, LineIndex(result, "file create "));
  const std::size_t registered = LineIndex(result, "registry create ");
  const std::size_t written =
      LineIndex(result, "file create C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE");
  ASSERT_LT(written, result.transcript.size());
  EXPECT_LT(registered, written);
}

// Every "no" along the way ends the installer at once: no further message,
// nothing written, exit code 0.
TEST(Installation, StopsWithoutChangesAtEachQuestion) {
  const std::string licence = "Terms.\r\nUse it kindly.";
  const std::string licenceOpen = kSkyConfirmation + R"T( -> ok = IDOK
dialog 106 open "License Agreement" 593x516
dialog 106 item 1009 text "Terms.\r\nUse it kindly."
dialog 106 move 216,126 593x516
)T";
  const std::string replace =
      R"T(message box "Replace Screen Saver?" "There is already a screen saver by the same name (Sky.SCR) installed on your system.  Would you like to replace it?" MB_YESNO|MB_ICONQUESTION)T";
  const std::string diskFull =
      R"T(message box "Disk Full" "You will need 8 kilobytes free in your Windows directory to install this screen saver.  It appears that you only have 8 kilobytes free on this drive.  Would you like to continue the installation?" MB_OKCANCEL|MB_ICONINFORMATION)T";
  struct Case {
    const char* name;
    bool existing;             // a Sky.scr lies in the Windows directory
    std::uint64_t freeBytes;
    std::vector<std::string> answers;
    std::string expected;
  } cases[] = {
      {"no to replacing", true, 20ull << 30, {"no"}, replace + " -> no = IDNO\nexit 0\n"},
      {"cancel to the disk warning", false, 8 * 1024, {"cancel"},
       diskFull + " -> cancel = IDCANCEL\nexit 0\n"},
      {"escape to the disk warning", false, 8 * 1024, {"escape"},
       diskFull + " -> escape = IDCANCEL\nexit 0\n"},
      {"cancel to the confirmation", false, 20ull << 30, {"cancel"},
       kSkyConfirmation + " -> cancel = IDCANCEL\nexit 0\n"},
      {"escape to the confirmation", false, 20ull << 30, {"escape"},
       kSkyConfirmation + " -> escape = IDCANCEL\nexit 0\n"},
      {"decline", false, 20ull << 30, {"ok", "decline"},
       licenceOpen +
           "dialog 106 wait focus 1009 (no selection) -> decline = command 2\n"
           "dialog 106 end 2\nexit 0\n"},
      {"escape in the licence", false, 20ull << 30, {"ok", "escape"},
       licenceOpen +
           "dialog 106 wait focus 1009 (no selection) -> escape = command 2\n"
           "dialog 106 end 2\nexit 0\n"},
      {"close box of the licence", false, 20ull << 30, {"ok", "close"},
       licenceOpen +
           "dialog 106 wait focus 1009 (no selection) -> close = close box\n"
           "dialog 106 end 2\nexit 0\n"},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.freeBytes = c.freeBytes;
    Machine machine(settings);
    if (c.existing) machine.Put("C:\\WINDOWS\\Sky.scr", "old");
    pack::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.license = licence;
    const auto result = machine.Install(manifest, c.answers);
    ExpectTranscript(result, c.expected, c.name);
    EXPECT_EQ(ChangesOf(result), "") << c.name;
    EXPECT_EQ(result.exitCode, 0) << c.name;
  }
}

TEST(Installation, AcceptedLicenceShowsItsTextUnselected) {
  Machine machine;
  pack::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.license = "Terms.\r\nUse it kindly.";
  const auto result = machine.Install(manifest, {"ok", "accept", "ok", "ok"});
  ExpectTranscript(result, kSkyConfirmation + R"T( -> ok = IDOK
dialog 106 open "License Agreement" 593x516
dialog 106 item 1009 text "Terms.\r\nUse it kindly."
dialog 106 move 216,126 593x516
dialog 106 wait focus 1009 (no selection) -> accept = command 1
dialog 106 end 1
)T" + kSkyProgress + kSkyDirectories + kSkyFiles +
                               "file close C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG 109 bytes\n" +
                               kSkyActivation + kProgressEnd + kSkyComplete + kInfoDialog +
                               kSkyStart);
}

TEST(Installation, LicenceTexts) {
  struct Case {
    const char* name;
    std::string licence;
    std::string shown;  // the text box's text as the transcript shows it
  } cases[] = {
      {"ends at a zero byte", std::string("Terms.\0hidden", 13), "Terms."},
      {"longest licence, whole", std::string(65535, 'a'), std::string(65535, 'a')},
  };
  for (const Case& c : cases) {
    Machine machine;
    pack::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.license = c.licence;
    const auto result = machine.Install(manifest, {"ok", "decline"});
    ExpectTranscript(result, kSkyConfirmation + " -> ok = IDOK\n" +
                                 "dialog 106 open \"License Agreement\" 593x516\n"
                                 "dialog 106 item 1009 text \"" + c.shown + "\"\n"
                                 "dialog 106 move 216,126 593x516\n"
                                 "dialog 106 wait focus 1009 (no selection) -> decline = command 2\n"
                                 "dialog 106 end 2\nexit 0\n",
                     c.name);
  }
}

// Only a shown licence can be accepted: a dialog that cannot be created
// counts as declined, without a message.
TEST(Installation, LicenceDialogThatCannotBeCreatedStops) {
  hostwin::MachineSettings settings;
  settings.failingDialogs = {106};
  Machine machine(settings);
  pack::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.license = "Terms.";
  const auto result = machine.Install(manifest, {"ok"});
  ExpectTranscript(result, kSkyConfirmation + " -> ok = IDOK\ndialog 106 cannot be created\nexit 0\n");
  EXPECT_EQ(ChangesOf(result), "");
}

TEST(Installation, ReplaceQuestionFindsALowerCaseScreenSaver) {
  Machine machine;
  machine.Put("C:\\WINDOWS\\sky.scr", "old");
  const auto result = machine.Install(ThreeEntryImage("Sky  "), {"yes", "ok", "ok", "ok"});
  ExpectTranscript(
      result,
      R"T(message box "Replace Screen Saver?" "There is already a screen saver by the same name (Sky.SCR) installed on your system.  Would you like to replace it?" MB_YESNO|MB_ICONQUESTION -> yes = IDYES
)T" + kSkyConfirmation +
          " -> ok = IDOK\n" + kSkyProgress + kSkyDirectories + kSkyFiles +
          "file close C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG 109 bytes\n"
          "profile C:\\WINDOWS\\system.ini [boot] SCRNSAVE.EXE = \"C:\\WINDOWS\\sky.scr\"\n"
          "SystemParametersInfoA SPI_SETSCREENSAVEACTIVE 1 SPIF_UPDATEINIFILE = TRUE\n" +
          kProgressEnd + kSkyComplete + kInfoDialog +
          "WinExec \"C:\\WINDOWS\\sky.scr\" SW_SHOW = 33\nexit 0\n");
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\sky.scr").size(), 3000u);
}

TEST(Installation, DiskSpaceWarning) {
  const std::string confirmationCancelled = kSkyConfirmation + " -> cancel = IDCANCEL\nexit 0\n";
  auto warning = [](const std::string& needed, const std::string& available) {
    return "message box \"Disk Full\" \"You will need " + needed +
           " kilobytes free in your Windows directory to install this screen saver.  It "
           "appears that you only have " +
           available +
           " kilobytes free on this drive.  Would you like to continue the installation?\" "
           "MB_OKCANCEL|MB_ICONINFORMATION -> cancel = IDCANCEL\nexit 0\n";
  };
  using Query = hostwin::MachineSettings::FreeSpaceExQuery;
  struct Case {
    const char* name;
    std::uint64_t freeBytes;
    bool known;
    Query query;
    std::uint32_t bigEntry;  // 0: the image as it is; else a data file this large
    std::string expected;
  } cases[] = {
      // 8,700 bytes need 8 kilobytes.
      {"as much free as needed", 8 * 1024, true, Query::Present, 0, warning("8", "8")},
      {"one kilobyte more", 9 * 1024, true, Query::Present, 0, confirmationCancelled},
      {"free space unknown", 0, false, Query::Present, 0, confirmationCancelled},
      // The older query counts whole clusters (4 KiB on this machine).
      {"older query when the newer is missing", 8 * 1024, true, Query::Missing, 0,
       warning("8", "8")},
      {"older query when the newer fails", 12 * 1024, true, Query::Fails, 0,
       confirmationCancelled},
      {"numbers with separators", 1000000ull * 1024, true, Query::Present, 1234567890,
       warning("1,205,636", "1,000,000")},
      // 2^32 kilobytes do not fit 32 bits; they must not wrap to nothing.
      {"4 TiB free", 4ull << 40, true, Query::Present, 0, confirmationCancelled},
      {"4 TiB and 8 KiB by the older query", (4ull << 40) + 8 * 1024, true, Query::Missing, 0,
       confirmationCancelled},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.freeBytes = c.freeBytes;
    settings.freeSpaceKnown = c.known;
    settings.freeSpaceExQuery = c.query;
    Machine machine(settings);
    pack::ManifestContents manifest = ThreeEntryImage("Sky");
    if (c.bigEntry != 0) manifest.entries[1].expandedSize = c.bigEntry;
    ExpectTranscript(machine.Install(manifest, {"cancel"}), c.expected, c.name);
  }
}

TEST(Installation, GoesOnWhenTheWarningIsAnsweredOk) {
  hostwin::MachineSettings settings;
  settings.freeBytes = 0;
  Machine machine(settings);
  const auto result = machine.Install(ThreeEntryImage("Sky"), {"ok", "cancel"});
  ExpectTranscript(
      result,
      R"T(message box "Disk Full" "You will need 8 kilobytes free in your Windows directory to install this screen saver.  It appears that you only have 0 kilobytes free on this drive.  Would you like to continue the installation?" MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK
)T" + kSkyConfirmation + " -> cancel = IDCANCEL\nexit 0\n");
}

// Media files: .MPG cannot be played here, .MP is already inside ".MPG"
// in the list, .MID plays; each type is listed once. The screen saver is
// neither activated nor started.
pack::ManifestContents MediaImage() {
  pack::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries.push_back(Media(".MPG", "mpg1", 0));
  manifest.entries.push_back(Media(".MP", "mp", '_'));
  manifest.entries.push_back(Media(".MID", "mid", ' '));
  manifest.entries.push_back(Media(".MPG", "mpg2", 0));
  return manifest;
}

hostwin::MachineSettings MachineWithoutMpeg() {
  hostwin::MachineSettings settings;
  settings.mediaAsMpegVideo = {".MP3"};
  return settings;
}

// A function, not a constant: the pieces it is made of are constants of
// another file.
std::string MediaExtraction() {
  return kSkyProgress + kSkyDirectories + kSkyFiles +
                                     R"T(file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0023.MPG
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0023.MPG 4 bytes
MCI open "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0023.MPG" = 281 MCIERR_EXTENSION_NOT_FOUND
MCI open "MPEGVideo" "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0023.MPG" = 296 MCIERR_INVALID_FILE
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUK_0024.MP
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUK_0024.MP 2 bytes
MCI open "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUK_0024.MP" = 281 MCIERR_EXTENSION_NOT_FOUND
MCI open "MPEGVideo" "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUK_0024.MP" = 296 MCIERR_INVALID_FILE
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\FILE0025.MID
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\FILE0025.MID 3 bytes
MCI open "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\FILE0025.MID" = 0 device 1
MCI close device 1 = 0
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0026.MPG
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0026.MPG 4 bytes
MCI open "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0026.MPG" = 281 MCIERR_EXTENSION_NOT_FOUND
MCI open "MPEGVideo" "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\JUKE0026.MPG" = 296 MCIERR_INVALID_FILE
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG 296 bytes
)T" + kProgressEnd;
}

std::string CodecsMessage(const std::string& types, const std::string& answerAndResult) {
  return "message box \"Missing support codecs\" \"The following file types are not currently "
         "supported by your Windows media player:\\r\\n\\r\\n" +
         types +
         "\\r\\nThese file types must be supported before you can run this file.  Click on the "
         "OK button below to download a copy from "
         "https://www.microsoft.com/windows/windows-media-player.  If you wish to get this file "
         "at a later time, click Cancel.\" MB_OKCANCEL -> " +
         answerAndResult + "\n";
}

const std::string kMediaConfirmation =
    R"T(message box "Sky Screen Saver Installation" "This program will install Sky Screen Saver to C:\WINDOWS and will make it your default Screen Saver.  This installation will take 8,713 bytes." MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK
)T";

TEST(Installation, UnsupportedMediaTypesOfferTheDownloadPage) {
  Machine machine(MachineWithoutMpeg());
  const auto result = machine.Install(MediaImage(), {"ok", "ok", "ok"});
  ExpectTranscript(result,
                   kMediaConfirmation + MediaExtraction() +
                       CodecsMessage(".MPG\\r\\n", "ok = IDOK") +
                       "ShellExecuteA \"open\" "
                       "\"https://www.microsoft.com/windows/windows-media-player\" "
                       "SW_SHOWMAXIMIZED = 42\n" +
                       kInfoDialog + "exit 0\n");
  EXPECT_EQ(ChangesOf(result).find("system.ini"), std::string::npos);
}

TEST(Installation, CancelOnTheCodecsMessageOpensNothing) {
  Machine machine(MachineWithoutMpeg());
  const auto result = machine.Install(MediaImage(), {"ok", "cancel", "ok"});
  ExpectTranscript(result, kMediaConfirmation + MediaExtraction() +
                               CodecsMessage(".MPG\\r\\n", "cancel = IDCANCEL") + kInfoDialog +
                               "exit 0\n");
}

TEST(Installation, PageThatCannotBeOpenedIsReported) {
  hostwin::MachineSettings settings = MachineWithoutMpeg();
  settings.shellExecuteResult = 2;
  Machine machine(settings);
  const auto result = machine.Install(MediaImage(), {"ok", "ok", "ok", "ok"});
  ExpectTranscript(result,
                   kMediaConfirmation + MediaExtraction() +
                       CodecsMessage(".MPG\\r\\n", "ok = IDOK") +
                       "ShellExecuteA \"open\" "
                       "\"https://www.microsoft.com/windows/windows-media-player\" "
                       "SW_SHOWMAXIMIZED = 2\n"
                       "message box \"https://www.microsoft.com/windows/windows-media-player\" "
                       "\"Could not connect to this site.\" MB_OK|MB_ICONHAND -> ok = IDOK\n" +
                       kInfoDialog + "exit 0\n");
}

TEST(Installation, ShorterTypeListedBeforeALongerOneKeepsBoth) {
  Machine machine(MachineWithoutMpeg());
  pack::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries.push_back(Media(".MP", "mp", 0));
  manifest.entries.push_back(Media(".MPG", "mpg", 0));
  manifest.entries.push_back(Media(".MP", "mp", 0));
  const auto result = machine.Install(manifest, {"ok", "cancel", "ok"});
  EXPECT_EQ(result.transcript[LineIndex(result, "message box \"Missing")] + "\n",
            CodecsMessage(".MP\\r\\n.MPG\\r\\n", "cancel = IDCANCEL"));
}

TEST(Installation, TitleWithTrailingBlanksIsUsedWithoutThem) {
  Machine plain;
  Machine blanks;
  EXPECT_EQ(Joined(blanks.Install(ThreeEntryImage("Sky   "), {"ok", "ok", "ok"}).transcript),
            Joined(plain.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"}).transcript));
  EXPECT_TRUE(blanks.Exists("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT"));
}

// A title of blanks only is empty once trimmed: its files would land in the
// shared product folder itself and the screen saver would be ".scr", so
// nothing is written and the user is told.
TEST(Installation, TitleOfBlanksOnly) {
  Machine machine;
  const auto result = machine.Install(ThreeEntryImage("   "), {"ok", "ok", "ok"});
  ExpectTranscript(result, R"T(message box " Screen Saver Installation" "This program will install  Screen Saver to C:\WINDOWS and will make it your default Screen Saver.  This installation will take 8,700 bytes." MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK
cursor IDC_WAIT
dialog 103 open "" 287x128
dialog 103 text " Screen Saver Installation"
dialog 103 item 1001 text " Screen Saver"
dialog 103 move 369,320 287x128
dialog 103 paint "Installing" "Please Wait..." " Screen Saver"
)T" + kProgressEnd +
                               FailedFilesMessage(" Screen Saver Installation",
                                                  R"T(C:\WINDOWS\.scr\r\nC:\WINDOWS\MARLOWEN\VELDRAKE\\.DAT\r\nC:\WINDOWS\MARLOWEN\VELDRAKE\\UNINSTAL.EXE\r\nINSTALL.LOG\r\n)T") +
                               kInfoDialog + "exit 0\n");
  EXPECT_EQ(ChangesOf(result), "");
}

// Only the ".scr" is cut: the dots of the title stay in every name.
TEST(Installation, TitleWithDots) {
  Machine machine;
  const auto result = machine.Install(ThreeEntryImage("Sky.Night.v2"), {"ok", "ok", "ok"});
  ExpectTranscript(result, R"T(message box "Sky.Night.v2 Screen Saver Installation" "This program will install Sky.Night.v2 Screen Saver to C:\WINDOWS and will make it your default Screen Saver.  This installation will take 8,700 bytes." MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK
cursor IDC_WAIT
dialog 103 open "" 287x128
dialog 103 text "Sky.Night.v2 Screen Saver Installation"
dialog 103 item 1001 text "Sky.Night.v2 Screen Saver"
dialog 103 move 369,320 287x128
dialog 103 paint "Installing" "Please Wait..." "Sky.Night.v2 Screen Saver"
directory create C:\WINDOWS\MARLOWEN
directory create C:\WINDOWS\MARLOWEN\VELDRAKE
directory create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\INSTALL.LOG
file create C:\WINDOWS\Sky.Night.v2.scr
file close C:\WINDOWS\Sky.Night.v2.scr 3000 bytes
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\Sky.Night.v2.DAT
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\Sky.Night.v2.DAT 5000 bytes
registry create HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 = created
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 "DisplayName" REG_SZ "Sky.Night.v2 Screen Saver" 26 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 "UninstallString" REG_SZ "C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\UNINSTAL.EXE" 55 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 "DisplayIcon" REG_SZ "C:\WINDOWS\Sky.Night.v2.scr" 28 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 "EstimatedSize" REG_DWORD 0x00000009
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 "NoModify" REG_DWORD 0x00000001
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky.Night.v2 "NoRepair" REG_DWORD 0x00000001
file create C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\UNINSTAL.EXE
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\UNINSTAL.EXE 700 bytes
file close C:\WINDOWS\MARLOWEN\VELDRAKE\Sky.Night.v2\INSTALL.LOG 145 bytes
profile C:\WINDOWS\system.ini [boot] SCRNSAVE.EXE = "C:\WINDOWS\SKYNIG~1.SCR"
SystemParametersInfoA SPI_SETSCREENSAVEACTIVE 1 SPIF_UPDATEINIFILE = TRUE
dialog 103 end 1
cursor IDC_ARROW
message box "Sky.Night.v2 Screen Saver Installation" "Installation Complete!" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK
)T" + kInfoDialog + "WinExec \"C:\\WINDOWS\\SKYNIG~1.SCR\" SW_SHOW = 33\nexit 0\n");
}

// A Windows directory that is a drive root gets no second backslash, and
// the confirmation shows it as the system gives it.
TEST(Installation, DriveRootWindowsDirectory) {
  hostwin::MachineSettings settings;
  settings.windowsDirectory = "C:\\";
  Machine machine(settings);
  machine.Put("C:\\sky.SCR", "old");
  const auto result = machine.Install(ThreeEntryImage("Sky"), {"yes", "ok", "ok", "ok"});
  ExpectTranscript(result, R"T(message box "Replace Screen Saver?" "There is already a screen saver by the same name (Sky.SCR) installed on your system.  Would you like to replace it?" MB_YESNO|MB_ICONQUESTION -> yes = IDYES
message box "Sky Screen Saver Installation" "This program will install Sky Screen Saver to C:\ and will make it your default Screen Saver.  This installation will take 8,700 bytes." MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK
cursor IDC_WAIT
dialog 103 open "" 287x128
dialog 103 text "Sky Screen Saver Installation"
dialog 103 item 1001 text "Sky Screen Saver"
dialog 103 move 369,320 287x128
dialog 103 paint "Installing" "Please Wait..." "Sky Screen Saver"
directory create C:\MARLOWEN
directory create C:\MARLOWEN\VELDRAKE
directory create C:\MARLOWEN\VELDRAKE\Sky
file create C:\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG
file create C:\Sky.scr
file close C:\Sky.scr 3000 bytes
file create C:\MARLOWEN\VELDRAKE\Sky\Sky.DAT
file close C:\MARLOWEN\VELDRAKE\Sky\Sky.DAT 5000 bytes
registry create HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky = created
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "DisplayName" REG_SZ "Sky Screen Saver" 17 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "UninstallString" REG_SZ "C:\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE" 38 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "DisplayIcon" REG_SZ "C:\Sky.scr" 11 bytes
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "EstimatedSize" REG_DWORD 0x00000009
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "NoModify" REG_DWORD 0x00000001
registry set HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sky "NoRepair" REG_DWORD 0x00000001
file create C:\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE
file close C:\MARLOWEN\VELDRAKE\Sky\UNINSTAL.EXE 700 bytes
file close C:\MARLOWEN\VELDRAKE\Sky\INSTALL.LOG 85 bytes
profile C:\system.ini [boot] SCRNSAVE.EXE = "C:\sky.SCR"
SystemParametersInfoA SPI_SETSCREENSAVEACTIVE 1 SPIF_UPDATEINIFILE = TRUE
dialog 103 end 1
cursor IDC_ARROW
)T" + kSkyComplete + kInfoDialog + "WinExec \"C:\\sky.SCR\" SW_SHOW = 33\nexit 0\n");
}

TEST(Installation, SecondInstallationAppendsToTheLog) {
  Machine machine;
  machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
  const auto result = machine.Install(ThreeEntryImage("Sky"), {"yes", "ok", "ok", "ok"});
  EXPECT_EQ(result.transcript[LineIndex(result, "file open ")],
            "file open C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG");
  EXPECT_EQ(result.transcript[LineIndex(result, "registry create ")],
            "registry create HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
            "Uninstall\\Sky = opened");
  const std::string once =
      "C:\\WINDOWS\\Sky.scr\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE\r\n";
  EXPECT_EQ(machine.Read("C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\INSTALL.LOG"), once + once);
}

TEST(Installation, WindowThatCannotBeCreatedEndsTheProgram) {
  hostwin::MachineSettings settings;
  settings.windowCreationFails = true;
  Machine machine(settings);
  const auto result = machine.Install(ThreeEntryImage("Sky"), {});
  ExpectTranscript(result, "window \"QUORInst\" cannot be created\nexit 0\n");
}

}  // namespace
