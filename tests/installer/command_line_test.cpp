// The installer's command line: switches in any case and order, quotes
// around a log path with blanks, what counts as bad arguments; and runs with
// switches, whole in the stand-in: what each shows, what lands on the
// machine, its exit code and its log.
#include "installer/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/imagewriter/version_info_writer.h"
#include "installer_fixture.h"

namespace {

using namespace installertest;

TEST(CommandLine, SwitchesQuotesAndBadArguments) {
  const std::string longPath(260, 'x');
  struct Case {
    std::string line;
    bool silent;
    bool help;
    std::string log;
    std::string unknown;  // the argument the help box names
  } cases[] = {
      {"", false, false, "", ""},
      {"  \t ", false, false, "", ""},
      {"/S", true, false, "", ""},
      {"/s", true, false, "", ""},
      {"/log=C:\\x.log /S", true, false, "C:\\x.log", ""},
      {"/LOG=\"C:\\a b\\x.log\"", false, false, "C:\\a b\\x.log", ""},
      {"\"/LOG=C:\\a b\\x.log\" /s", true, false, "C:\\a b\\x.log", ""},
      {"/Log=C:\\a\" b\"\\x.log", false, false, "C:\\a b\\x.log", ""},
      {"/LOG=a\\\\\"b c\"", false, false, "a\\b c", ""},  // 2n backslashes: n, the quote groups
      {"/LOG=a\\\"b", false, false, "a\"b", ""},         // 2n+1: a literal quote
      {"/?", false, true, "", ""},
      {"/S /?", true, true, "", ""},
      {"/SILENT", false, false, "", "/SILENT"},
      {"/S /X /Y", true, false, "", "/X"},
      {"S", false, false, "", "S"},
      {"/LOG=", false, false, "", "/LOG="},
      {"/LOG", false, false, "", "/LOG"},
      {"-S", false, false, "", "-S"},
      {"/LOG=C:\\" + longPath, false, false, "", ("/LOG=C:\\" + longPath).substr(0, 63)},
  };
  for (const Case& c : cases) {
    const installer::CommandLine line = installer::ParseCommandLine(c.line.c_str());
    EXPECT_EQ(line.silent, c.silent) << c.line;
    EXPECT_EQ(line.help, c.help) << c.line;
    EXPECT_EQ(line.logPath, c.log) << c.line;
    EXPECT_EQ(line.unknown, c.unknown) << c.line;
    EXPECT_EQ(line.BadArguments(), c.help || !c.unknown.empty()) << c.line;
  }
  EXPECT_FALSE(installer::ParseCommandLine(nullptr).BadArguments());
}

TEST(CommandLine, ProgramNameSkipped) {
  const struct {
    const char* whole;
    const char* arguments;
  } cases[] = {
      {"", ""},
      {"setup.exe", ""},
      {"setup.exe /S", "/S"},
      {"setup.exe \t /S  /LOG=x ", "/S  /LOG=x "},
      {"\"C:\\My Files\\setup.exe\" /S", "/S"},
      {"\"C:\\My Files\\setup.exe\"/S", ""},    // a name ends only at a blank
      {"setup.exe\r\n/S", "/S"},                   // control characters are blanks
      {"\xC4setup.exe /S", "/S"},                   // bytes over 0x7F are not
      {"C:\\a\" b\"\\setup.exe /?", "/?"},     // quotes group inside the name too
      {"\"C:\\unclosed /S", ""},
      {"\\\"setup.exe\" /S", "/S"},              // a backslash escapes nothing in the name
  };
  for (const auto& c : cases) EXPECT_STREQ(installer::SkipProgramName(c.whole), c.arguments) << c.whole;
}

constexpr std::size_t kNone = std::string::npos;
const char kKey[] = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sky";

TEST(CommandLineRuns, ExitCodesAndWhatLanded) {
  const Sky sky;
  const std::string uninstaller = sky.Folder() + "\\UNINSTAL.EXE";
  const std::string installed = "file added " + sky.Saver() + " 3000 bytes\n";
  const std::string quiet = std::string("registry added ") + kKey +
                            " \"QuietUninstallString\" = REG_SZ \"\"" + uninstaller + "\" /S\"\n";
  const std::string date = std::string("registry added ") + kKey + " \"InstallDate\" = REG_SZ \"" +
                           kInstallDate + "\"\n";
  const std::string activated = "system.ini added [boot] SCRNSAVE.EXE = " + sky.Saver() + "\n";
  struct Case {
    const char* name;
    std::string commandLine;
    std::vector<std::string> answers;
    std::uint64_t freeBytes;
    bool unplayableMedia;   // a .XYZ media file no MCI device opens
    bool licence;
    bool windowFails;       // the machine cannot create windows: /S needs none
    int code;
    std::vector<std::string> shown;     // in the transcript
    std::vector<std::string> notShown;  // not in the transcript
    std::vector<std::string> landed;    // in the changes ("" for none at all)
    std::vector<std::string> notLanded;
  } cases[] = {
      {"silent, whole", "/S", {}, 20ull << 30, false, true, true, 0, {"exit 0"},
       {"message box", "dialog", "WinExec", "window \""}, {installed, quiet, date, activated}, {}},
      {"silent, short disk", "/s", {}, 8 * 1024, false, false, false, 3, {}, {"message box"}, {""}, {}},
      {"silent, a log that cannot be opened", "/S /LOG=C:\\missing\\x.log", {}, 20ull << 30, false, false,
       false, 0, {}, {}, {installed, activated}, {}},
      {"silent, a media type that cannot play", "/S", {}, 20ull << 30, true, false, false, 6, {},
       {"message box", "ShellExecuteA", "WinExec"}, {installed, quiet}, {"system.ini"}},
      {"help", "/?", {"ok"}, 20ull << 30, false, false, true, 7,
       {"\"Screen Saver Installation\" \"Switches (any order", "/LOG=FILE", "7\\tbad arguments"},
       {"window \""}, {""}, {}},
      {"unknown switch", "/X", {"ok"}, 20ull << 30, false, false, true, 7,
       {"\"Unknown argument: /X\\r\\n\\r\\nSwitches"}, {"window \""}, {""}, {}},
      {"unknown switch, silent", "/S /X", {}, 20ull << 30, false, false, false, 7, {}, {"message box"},
       {""}, {}},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.freeBytes = c.freeBytes;
    settings.windowCreationFails = c.windowFails;
    Machine machine(settings);
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    if (c.licence) manifest.license = "Terms.";
    if (c.unplayableMedia) manifest.entries.push_back(Media(".XYZ", "noise", 0));
    const auto result = machine.Install(manifest, c.answers, c.commandLine);
    const std::string transcript = Joined(result.transcript);
    const std::string changes = ChangesOf(result);
    EXPECT_EQ(result.exitCode, c.code) << c.name << "\n" << transcript;
    EXPECT_EQ(result.loudErrors, 0) << c.name << "\n" << transcript;
    const std::string trace = std::string(c.name) + "\n" + transcript + "\n" + changes;
    for (const std::string& line : c.shown) EXPECT_NE(transcript.find(line), kNone) << line << trace;
    for (const std::string& line : c.notShown) EXPECT_EQ(transcript.find(line), kNone) << line << trace;
    for (const std::string& line : c.landed) {
      if (line.empty()) EXPECT_EQ(changes, "") << trace;
      else EXPECT_NE(changes.find(line), kNone) << line << trace;
    }
    for (const std::string& line : c.notLanded) EXPECT_EQ(changes.find(line), kNone) << line << trace;
  }
}

// The log, with and without /S, at a quoted path with a blank: each question
// and answer, the licence, folders, files with sizes, registry and
// system.ini values, failures with their Win32 error, and the exit code, in
// order. Silent and elevated, the child writes the log and the launcher adds
// its own lines behind it (the setting, no start); as the local system
// account the log says why nothing was activated.
TEST(CommandLineRuns, LogTellsWhatHappened) {
  const Sky sky;
  const std::string logPath = "C:\\a b\\x.log";
  const std::string silent = "/S /LOG=\"" + logPath + "\"";
  struct Case {
    const char* name;
    std::string commandLine;
    std::vector<std::string> answers;
    bool dataFileInTheWay;  // a directory where Sky.DAT goes
    int code;
    std::vector<std::string> lines;
    std::string account = "Owner";
    bool limited = false;
    std::vector<std::string> absent = {};  // from the log and the transcript
  } cases[] = {
      {"silent", silent, {}, false, 0,
       {"switches /S /LOG=C:\\a b\\x.log",
        "question \"Replace Screen Saver?\" \"There is already a screen saver by the same name "
        "(Sky.SCR) installed on your system.  Would you like to replace it?\" -> yes (/S)",
        "-> ok (/S)", "licence accepted (/S)", "directory " + sky.Folder(),
        "file " + sky.Saver() + " 3000 bytes", "file " + sky.Folder() + "\\Sky.DAT 5000 bytes",
        std::string("registry Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sky "
                    "\"InstallDate\" = REG_SZ \"") + kInstallDate + "\"",
        "system.ini [boot] SCRNSAVE.EXE = " + sky.Saver(), "screen saver switched on",
        "message \"Sky Screen Saver Installation\" \"Installation Complete!\" not shown (/S)",
        "exit code 0\r\n"}},
      {"interactive, a file not written", "\"/LOG=" + logPath + "\"",
       {"yes", "ok", "accept", "ok", "ok"}, true, 4,
       {"switches /LOG=C:\\a b\\x.log", "-> yes\r\n", "licence accepted\r\n",
        "failed " + sky.Folder() + "\\Sky.DAT: not written whole (error 5)",
        "message \"Sky Screen Saver Installation\" \"The following files could not be installed",
        "exit code 4\r\n"}},
      {"silent, standard user elevated", silent, {}, false, 0,
       {"switches /S /LOG=C:\\a b\\x.log", "activation left to the launcher", "exit code 0",
        "elevated installation ended with exit code 0",
        "registry HKEY_CURRENT_USER\\Control Panel\\Desktop \"SCRNSAVE.EXE\" = REG_SZ \"" + sky.Saver() + "\"",
        "screen saver switched on", "exit code 0"},
       "Ann", true, {"WinExec"}},
      {"silent, local system account", silent, {}, false, 0,
       {"running as the local system account: no user's desktop", "exit code 0"}, "SYSTEM", false,
       {"WinExec", "SCRNSAVE.EXE"}},
  };
  for (const Case& c : cases) {
    Machine machine(AccountSettings(c.account, c.limited));
    machine.Put(sky.Saver(), "old");
    machine.PutDirectory("C:\\a b");
    if (c.dataFileInTheWay) machine.PutDirectory(sky.Folder() + "\\Sky.DAT");
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.license = "Terms.";
    const auto result = machine.Install(manifest, c.answers, c.commandLine);
    EXPECT_EQ(result.exitCode, c.code) << c.name << "\n" << Joined(result.transcript);
    const std::string log = machine.Read(logPath);
    std::size_t at = 0;
    for (const std::string& line : c.lines) {
      at = log.find(line, at);
      EXPECT_NE(at, std::string::npos) << c.name << ": " << line << " (in this order)\n" << log;
      if (at == std::string::npos) break;
    }
    for (const std::string& text : c.absent)
      EXPECT_EQ((log + Joined(result.transcript)).find(text), std::string::npos) << c.name << ": " << text;
  }
}

// Publisher, DisplayVersion and URLInfoAbout come from the image's own
// VERSIONINFO, and only from the keys the author gave (pack writes the
// title's two always); an image without a VERSIONINFO registers none.
TEST(CommandLineRuns, TheUninstallEntryNamesWhatTheAuthorGave) {
  imagewriter::VersionInfoContents everything;
  everything.text[format::kProductName] = "Sky";
  everything.text[format::kFileDescription] = "Sky Setup";
  everything.text[format::kCompanyName] = "Example Ltd";
  everything.text[format::kProductVersion] = "1.2.3";
  everything.text[format::kUrl] = "https://example.com/sky";
  imagewriter::VersionInfoContents titleOnly;
  titleOnly.text[format::kProductName] = "Sky";
  titleOnly.text[format::kFileDescription] = "Sky Setup";
  const std::string key = "Uninstall\\Sky]";
  struct Case {
    const char* name;
    std::vector<imagewriter::ResourceItem> resources;
    std::vector<std::string> registered, absent;
  } cases[] = {
      {"every key",
       {{imagewriter::ResourceKey::Number(16), imagewriter::ResourceKey::Number(1), 1033,
         imagewriter::BuildVersionInfo(everything)}},
       {"\"Publisher\"=\"Example Ltd\"", "\"DisplayVersion\"=\"1.2.3\"",
        "\"URLInfoAbout\"=\"https://example.com/sky\""},
       {}},
      {"the title's keys only",
       {{imagewriter::ResourceKey::Number(16), imagewriter::ResourceKey::Number(1), 1033,
         imagewriter::BuildVersionInfo(titleOnly)}},
       {},
       {"\"Publisher\"", "\"DisplayVersion\"", "\"URLInfoAbout\""}},
      {"no VERSIONINFO", {}, {}, {"\"Publisher\"", "\"DisplayVersion\"", "\"URLInfoAbout\""}},
  };
  for (const Case& c : cases) {
    Machine machine;
    const auto result = machine.Install(ThreeEntryImage("Sky"), {}, "/S", c.resources);
    EXPECT_EQ(result.exitCode, 0) << c.name << "\n" << Joined(result.transcript);
    const std::string registry = machine.Registry();
    const std::string entry = registry.substr(registry.find(key));
    EXPECT_NE(entry.find("\"InstallDate\""), std::string::npos) << c.name << "\n" << entry;
    for (const std::string& value : c.registered)
      EXPECT_NE(entry.find(value), std::string::npos) << c.name << ": " << value << "\n" << entry;
    for (const std::string& value : c.absent)
      EXPECT_EQ(entry.find(value), std::string::npos) << c.name << ": " << value << "\n" << entry;
  }
}

}  // namespace
