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

// Runs of preview: the exit status, the lines expected on standard output
// in this order, and a text that must not appear there.
TEST_F(PreviewCommand, RunsToTheExpectedTranscript) {
  imagewriter::ManifestContents bomb = ThreeEntryImage("Sky");
  bomb.entries[1].expandedSize = 1u << 30;  // more than the 256 MiB free on the machine preview makes
  const std::string bombImage = temp_.Write("bomb.exe", imagewriter::BuildInstallerImage(bomb));
  const std::string kept = temp_.path() + "/kept";
  hostwin::MachineSettings smallDisk;
  smallDisk.writableBytes = 3000 + 10000;
  const std::string small = temp_.path() + "/small-disk";
  std::string error;
  ASSERT_TRUE(hostwin::CreateMachine(small, smallDisk, &error)) << error;
  imagewriter::ManifestContents big = ThreeEntryImage("Sky");
  big.entries[1] = installertest::Compressed(installertest::SampleBytes(40000, 'd'));
  const std::string bigImage = temp_.Write("big.exe", imagewriter::BuildInstallerImage(big));
  const std::string uninstaller = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE";
  const struct {
    const char* what;
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> expected;
    const char* absent;    // "": not checked
    const char* err = "";  // in standard error
  } cases[] = {
      {"the answers found: confirmation, licence, completion, information", {image_}, 0,
       {"MB_OKCANCEL|MB_ICONINFORMATION -> ok = IDOK\n  dialog 106 open \"License Agreement\"",
        "dialog 106 wait focus 1009 (no selection) -> accept = command 1",
        "\"Installation Complete!\" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK\n  dialog 107 open",
        "  WinExec \"C:\\WINDOWS\\Sky.scr\" SW_SHOW = 33\n  exit 0\n\nChanges to the machine:\n",
        "  file added C:\\WINDOWS\\Sky.scr 3000 bytes\n",
        "  system.ini added [boot] SCRNSAVE.EXE = C:\\WINDOWS\\Sky.scr\n"},
       "!!"},
      // --uninstall goes on in the same machine with the registered command,
      // answered by a user who goes on; what it removed is listed apart.
      {"uninstall", {image_, "--uninstall"}, 0,
       {"  uninstall " + uninstaller + "\n  message box \"Sky Uninstall\" \"Do you want to remove",
        "-> yes = IDYES\n  file create C:\\Users\\Owner\\AppData\\Local\\Temp\\skU1.tmp\n",
        "  child: message box \"Sky Uninstall\" \"The Sky screen saver has been removed.\" MB_OK|MB_ICONINFORMATION -> ok",
        "  child: exit 0\n  exit 0\n\nChanges to the machine:\n", "\nChanges by the uninstallation:\n",
        "  file removed C:\\WINDOWS\\Sky.scr\n"},
       "!!"},
      {"uninstall with switches", {image_, "--uninstall", "--", "/S"}, 0,
       {"  exit 0\n  uninstall \"" + uninstaller + "\" /S\n  file create", "  child: exit 0\n  exit 0\n\n",
        "  directory removed C:\\WINDOWS\\MARLOWEN\n"},
       "!!"},
      // Switches after "--" reach the installer: a silent run asks nothing.
      {"silent, into a kept machine", {image_, "--machine", kept, "--", "/S", "/LOG=C:\\setup log.txt"}, 0,
       {"  exit 0\n\nChanges to the machine:\n", "file added C:\\setup log.txt "},
       "message box"},
      // The machine kept: a second run is asked to replace.
      {"again into the kept machine", {image_, "--machine", kept}, 0,
       {"Transcript:\n  message box \"Replace Screen Saver?\"", "-> yes = IDYES"},
       "!!"},
      // Too few answers: the run stops at the licence, loudly.
      {"too few answers", {image_, "--answer", "ok"}, 1, {"!! dialog 106 waits for an answer and none is left"}, ""},
      // A gigabyte declared: the installer warns of the short space as it
      // would on a small disk, and the given answer is taken.
      {"small disk", {bombImage, "--answer", "cancel"}, 0,
       {"It appears that you only have 262,144 kilobytes free",
        "-> cancel = IDCANCEL\n  exit 3\n\nChanges to the machine:\n  (none)\n"},
       "!!"},
      // A decoder that cannot write ends the installer with exit code 1;
      // preview says so and fails.
      {"write error", {bigImage, "--machine", small}, 1,
       {"\"Write error in function WritePtr()\" MB_OK|MB_ICONHAND -> ok = IDOK\n  "
        "memory: 1 block not freed at exit\n  exit 1\n"},
       "",
       "big.exe: the installer ended with exit code 1"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {SAVERKIT_TOOL, "preview"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto run = RunCommand(arguments);
    EXPECT_EQ(run.exitStatus, c.status) << c.what << "\n" << run.err;
    std::size_t at = 0;
    for (const std::string& expected : c.expected) {
      at = run.out.find(expected, at);
      ASSERT_NE(at, std::string::npos) << c.what << ": " << expected << "\n" << run.out;
      if (expected.rfind("Transcript:", 0) == 0) {
        EXPECT_EQ(at, 0u) << c.what;
      }
    }
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.what << "\n" << run.err;
    if (*c.absent != '\0') {
      EXPECT_EQ(run.out.find(c.absent), std::string::npos) << c.what << "\n" << run.out;
    }
  }
  // A switch the installer refuses is its outcome (7), not preview's failure.
  const auto refused = RunCommand({SAVERKIT_TOOL, "preview", image_, "--", "/S", "/Q"});
  EXPECT_EQ(refused.exitStatus, 0) << refused.err;
  EXPECT_EQ(refused.out, "Transcript:\n  exit 7\n\nChanges to the machine:\n  (none)\n");
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

// Links planted in a given machine: the screen saver's place to a file
// outside is a file the installer cannot write; a folder outside holding a
// pipe (which a copy would refuse and a read block on) is never walked.
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

TEST_F(PreviewCommand, Errors) {
  EXPECT_TRUE(FailedWith(Saverkit({"preview", image_, "--answer", "maybe"}), 2, "unknown answer \"maybe\""));
  EXPECT_TRUE(FailedWith(Saverkit({"preview", temp_.path() + "/none.exe"}), 1, "none.exe: no such file"));
}

}  // namespace
