// saverkit preview, run as a program: the answers of a normal installation
// found by itself, given answers, and its errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"


namespace {

using installertest::ThreeEntryImage;
using testsupport::RunCommand;

class PreviewCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
    manifest.license = "Terms.";
    image_ = temp_.Write("sky.exe", imagewriter::BuildInstallerImage(manifest));
  }
  testsupport::TempFolder temp_;
  std::string image_;
};

TEST_F(PreviewCommand, FindsTheAnswersOfANormalInstallation) {
  const auto run = RunCommand({SAVERKIT_TOOL, "preview", image_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  // Confirmation, licence, completion and information dialog, in order;
  // then what changed.
  for (const char* expected :
       {"MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK\n  dialog 106 open \"License Agreement\"",
        "dialog 106 wait focus 1009 (no selection) -> accept = command 1",
        "\"Installation Complete!\" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK\n  dialog 107 open",
        "  WinExec \"C:\\WINDOWS\\Sky.scr\" SW_SHOW = 33\n  exit 0\n\nChanges to the machine:\n",
        "  file added C:\\WINDOWS\\Sky.scr 3000 bytes\n",
        "  system.ini added [boot] SCRNSAVE.EXE = C:\\WINDOWS\\Sky.scr\n"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  EXPECT_EQ(run.out.find("!!"), std::string::npos) << run.out;
}

// --uninstall goes on in the same machine with the registered command, as
// answered by a user who goes on, to the uninstaller's exit code; what it
// removed is listed apart.
TEST_F(PreviewCommand, UninstallRunsTheRegisteredCommandAfterTheInstallation) {
  const std::string uninstaller = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE";
  const struct {
    std::vector<std::string> switches;
    std::vector<std::string> expected;  // in this order
  } cases[] = {
      {{}, {"  uninstall " + uninstaller + "\n  message box \"Sky Uninstall\" \"Do you want to remove",
            "-> yes = IDYES\n  file create C:\\Users\\Owner\\AppData\\Local\\Temp\\skU1.tmp\n",
            "  child: message box \"Sky Uninstall\" \"The Sky screen saver has been removed.\" MB_OK|MB_ICONINFORMATION -> ok",
            "  child: exit 0\n  exit 0\n\nChanges to the machine:\n",
            "\nChanges by the uninstallation:\n", "  file removed C:\\WINDOWS\\Sky.scr\n"}},
      {{"--", "/S"}, {"  exit 0\n  uninstall \"" + uninstaller + "\" /S\n  file create", "  child: exit 0\n  exit 0\n\n",
                      "  directory removed C:\\WINDOWS\\MARLOWEN\n"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {SAVERKIT_TOOL, "preview", image_, "--uninstall"};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    const auto run = RunCommand(arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.err << run.out;
    std::size_t at = 0;
    for (const std::string& expected : c.expected) {
      at = run.out.find(expected, at);
      ASSERT_NE(at, std::string::npos) << expected << "\n" << run.out;
    }
    EXPECT_EQ(run.out.find("!!"), std::string::npos) << run.out;
  }
}

TEST_F(PreviewCommand, KeepsAGivenMachineSoASecondRunIsAskedToReplace) {
  const std::string machine = temp_.path() + "/machine";
  ASSERT_EQ(RunCommand({SAVERKIT_TOOL, "preview", image_, "--machine", machine}).exitStatus, 0);
  const auto second = RunCommand({SAVERKIT_TOOL, "preview", image_, "--machine", machine});
  EXPECT_EQ(second.exitStatus, 0) << second.err;
  EXPECT_EQ(second.out.rfind("Transcript:\n  message box \"Replace Screen Saver?\"", 0), 0u)
      << second.out;
  EXPECT_NE(second.out.find("-> yes = IDYES"), std::string::npos);
}

// Too few answers: the run stops at the licence, loudly, and says so. (A
// given answer that is taken: AMachineItMakesHasASmallDisk's cancel.)
TEST_F(PreviewCommand, TooFewGivenAnswersStopTheRun) {
  const auto tooFew = RunCommand({SAVERKIT_TOOL, "preview", image_, "--answer", "ok"});
  EXPECT_EQ(tooFew.exitStatus, 1);
  EXPECT_NE(tooFew.out.find("!! dialog 106 waits for an answer and none is left"),
            std::string::npos)
      << tooFew.out;
}

// Whatever the image names or says reaches the terminal escaped: bytes
// from 0x7F up (C1 controls among them) in paths, keys and texts, control
// characters in the licence and in media names.
TEST_F(PreviewCommand, PrintsOnlyPrintableASCII) {
  imagewriter::ManifestContents manifest = ThreeEntryImage("Caf\xE9\x9B\x7F");
  manifest.license = "Terms\x1B[2J\x07\r\n\x9B" "31m";
  manifest.entries.push_back(installertest::Media("\x1B]0;x\x07.MID", "m"));
  const std::string image = temp_.Write("odd.exe", imagewriter::BuildInstallerImage(manifest));
  const auto run = RunCommand({SAVERKIT_TOOL, "preview", image});
  for (unsigned char c : run.out) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
  EXPECT_NE(run.out.find("file added C:\\WINDOWS\\Caf\\xE9\\x9B\\x7F.scr"), std::string::npos)
      << run.out;
}

// A decoder that cannot write ends the installer with exit code 1; preview
// says so and fails.
TEST_F(PreviewCommand, FailsWhenTheInstallerDiesOfAWriteError) {
  hostwin::MachineSettings settings;
  settings.writableBytes = 3000 + 10000;
  const std::string machine = temp_.path() + "/small-disk";
  std::string error;
  ASSERT_TRUE(hostwin::CreateMachine(machine, settings, &error)) << error;
  imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries[1] = installertest::Compressed(installertest::SampleBytes(40000, 'd'));
  const std::string image = temp_.Write("big.exe", imagewriter::BuildInstallerImage(manifest));
  const auto run = RunCommand({SAVERKIT_TOOL, "preview", image, "--machine", machine});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.out.find("\"Write error in function WritePtr()\" MB_OK|MB_ICONHAND -> ok = IDOK\n  "
                         "memory: 1 block not freed at exit\n  exit 1\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("big.exe: the installer ended with exit code 1"), std::string::npos) << run.err;
}

// An entry that declares a gigabyte: the machine preview makes has 256 MiB
// free, so the installer warns of the short space as it would on a small
// disk (and its writes would stop at 256 MiB, not fill the host's disk).
TEST_F(PreviewCommand, AMachineItMakesHasASmallDisk) {
  imagewriter::ManifestContents manifest = ThreeEntryImage("Sky");
  manifest.entries[1].expandedSize = 1u << 30;
  const std::string image = temp_.Write("bomb.exe", imagewriter::BuildInstallerImage(manifest));
  const auto run = RunCommand({SAVERKIT_TOOL, "preview", image, "--answer", "cancel"});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("It appears that you only have 262,144 kilobytes free"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("-> cancel = IDCANCEL\n  exit 3\n\nChanges to the machine:\n  (none)\n"),
            std::string::npos)
      << run.out;
}

// Links planted in a given machine: the screen saver's place links to a file
// outside, and a folder links to a big folder outside. The installer meets
// the first as a file it cannot write (the victim keeps its bytes); the
// answers are found on copies that hold the second as a link, never copied
// or walked: the folder holds a pipe, which a copy that went in would refuse
// and a read would block on.
TEST_F(PreviewCommand, LinksInTheMachineAreNeitherFollowedNorCopied) {
  const std::string machine = temp_.path() + "/machine";
  std::string error;
  ASSERT_TRUE(hostwin::CreateMachine(machine, {}, &error)) << error;
  const std::string victim = temp_.Write("victim.txt", std::string("precious"));
  const std::string big = temp_.path() + "/big";
  ASSERT_TRUE(std::filesystem::create_directories(big + "/deep"));
  ASSERT_EQ(mkfifo((big + "/deep/pipe").c_str(), 0600), 0);
  ASSERT_EQ(symlink(victim.c_str(), (machine + "/drive_c/WINDOWS/Sky.scr").c_str()), 0);
  ASSERT_EQ(symlink(big.c_str(), (machine + "/drive_c/WINDOWS/BIG").c_str()), 0);
  const auto run = RunCommand({SAVERKIT_TOOL, "preview", image_, "--machine", machine});
  EXPECT_EQ(run.exitStatus, 1) << run.err;
  EXPECT_NE(run.err.find("exit code 4 (files that could not be written)"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("could not be installed completely:\\r\\n\\r\\nC:\\WINDOWS\\Sky.scr\\r\\n\\r\\nThe"),
            std::string::npos)
      << run.out;
  const auto bytes = testsupport::ReadFileBytes(victim);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "precious");
  std::vector<std::string> inBig;
  for (const auto& item : std::filesystem::recursive_directory_iterator(big)) inBig.push_back(item.path().string());
  EXPECT_EQ(inBig, (std::vector<std::string>{big + "/deep", big + "/deep/pipe"}));
}

// Switches after "--" reach the installer: a silent run asks nothing, and
// the transcript ends with the installer's exit code; a refused switch is
// the installer's outcome (7), not a failure of preview.
TEST_F(PreviewCommand, PassesSwitchesToTheInstaller) {
  const std::string machine = temp_.path() + "/machine";
  const auto silent = RunCommand(
      {SAVERKIT_TOOL, "preview", image_, "--machine", machine, "--", "/S", "/LOG=C:\\setup log.txt"});
  EXPECT_EQ(silent.exitStatus, 0) << silent.err;
  EXPECT_EQ(silent.out.find("message box"), std::string::npos) << silent.out;
  EXPECT_NE(silent.out.find("  exit 0\n\nChanges to the machine:\n"), std::string::npos) << silent.out;
  EXPECT_NE(silent.out.find("file added C:\\setup log.txt "), std::string::npos) << silent.out;
  const auto refused = RunCommand({SAVERKIT_TOOL, "preview", image_, "--", "/S", "/Q"});
  EXPECT_EQ(refused.exitStatus, 0) << refused.err;
  EXPECT_EQ(refused.out, "Transcript:\n  exit 7\n\nChanges to the machine:\n  (none)\n");
}

TEST_F(PreviewCommand, Errors) {
  EXPECT_TRUE(FailedWith(Saverkit({"preview", image_, "--answer", "maybe"}), 2, "unknown answer \"maybe\""));
  EXPECT_TRUE(FailedWith(Saverkit({"preview", temp_.path() + "/none.exe"}), 1, "none.exe: no such file"));
}

}  // namespace
