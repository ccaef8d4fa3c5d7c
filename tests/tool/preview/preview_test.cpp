// saverkit preview: the answer it gives by itself at each prompt; an
// installation's effects as --effects gives them (gathered from a real run
// in the stand-in, the REGEDIT4 form exactly, alone on standard output);
// and the command as the user runs it, with its errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"
#include "tool/commands/sha256.h"
#include "tool/preview/collect_effects.h"
#include "tool/preview/preview_answers.h"

namespace {

using installertest::SampleBytes;
using installertest::ThreeEntryImage;
using nlohmann::json;
using preview::EffectChange;
using preview::NextPreviewAnswer;

TEST(PreviewAnswers, TheAnswerThatGoesOnAtEachKindOfPrompt) {
  struct Case {
    const char* name;
    std::vector<std::string> transcript;
    std::string expected;  // empty: no answer was missing
  } cases[] = {
      {"information dialog",
       {R"(dialog 107 open "Saverkit Studio Info" 300x250)",
        "!! dialog 107 waits for an answer and none is left (focus 1)", "exit 0"},
       "ok"},
      {"the first missing answer counts",
       {R"(message box "A" "B" MB_YESNO -> (none) = IDNO)",
        "!! a message box waits for an answer and none is left",
        "!! dialog 106 waits for an answer and none is left (focus 1009)", "exit 0"},
       "yes"},
      {"a title that names a Yes/No box is no Yes/No box",
       {R"(message box "MB_YESNO -> x" "MB_YESNO" MB_OKCANCEL|MB_ICONINFORMATION -> (none) = IDCANCEL)",
        "!! a message box waits for an answer and none is left", "exit 0"},
       "ok"},
      {"a Yes/No box with an owner",
       {R"(message box "A" "B" MB_YESNO|MB_ICONQUESTION owner -> (none) = IDNO)",
        "!! a message box waits for an answer and none is left", "exit 0"},
       "yes"},
      {"a prompt of a process the program started (the uninstaller's copy)",
       {R"(child: child: message box "A" "B" MB_YESNO -> (none) = IDNO)",
        "child: child: !! a message box waits for an answer and none is left", "child: exit 0", "exit 0"},
       "yes"},
      {"complete run", {R"(message box "A" "B" MB_OK -> ok = IDOK)", "exit 0"}, ""},
      {"other loud errors are no prompt",
       {"!! answers left unused: ok", "exit 0"},
       ""},
  };
  for (const Case& c : cases) {
    std::string answer;
    EXPECT_EQ(NextPreviewAnswer(c.transcript, &answer), !c.expected.empty()) << c.name;
    EXPECT_EQ(answer, c.expected) << c.name;
  }
}

std::string Sha256Of(const std::string& text) {
  commands::Sha256 sha;
  sha.Update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  return sha.FinishHex();
}

const json* Find(const json& list, const char* key, const std::string& value) {
  for (const json& item : list)
    if (item.contains(key) && item[key] == value) return &item;
  return nullptr;
}

TEST(InstallationEffects, OfTheFixtureInstallationAsJson) {
  installertest::Machine machine;
  const hostwin::RunResult result = machine.Install(ThreeEntryImage("Sky"), {"ok", "ok", "ok"});
  ASSERT_EQ(result.exitCode, 0) << installertest::Joined(result.transcript);
  const json effects = json::parse(preview::EffectsJson(preview::CollectEffects(machine.folder(), result)));

  // Every installed file with its size and the digest of its bytes.
  struct ExpectedFile {
    const char* path;
    std::string bytes;
  };
  const std::string folder = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\";
  const ExpectedFile files[] = {{"C:\\WINDOWS\\Sky.scr", SampleBytes(3000, 's')},
                                {"C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT", SampleBytes(5000, 'd')},
                                {"C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\UNINSTAL.EXE", SampleBytes(700, 'u')}};
  for (const ExpectedFile& expected : files) {
    const json* file = Find(effects["files"], "path", expected.path);
    ASSERT_NE(file, nullptr) << expected.path << "\n" << effects.dump(2);
    EXPECT_EQ((*file)["change"], "added");
    EXPECT_EQ((*file)["size"], expected.bytes.size());
    EXPECT_EQ((*file)["sha256"], Sha256Of(expected.bytes));
  }
  const json* log = Find(effects["files"], "path", folder + "INSTALL.LOG");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ((*log)["sha256"], Sha256Of(machine.Read(folder + "INSTALL.LOG")));
  EXPECT_NE(Find(effects["folders"], "path", "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky"), nullptr);

  const json* name = Find(effects["registry"], "name", "DisplayName");
  ASSERT_NE(name, nullptr) << effects["registry"].dump(2);
  EXPECT_EQ((*name)["key"], "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sky");
  EXPECT_EQ((*name)["type"], "REG_SZ");
  EXPECT_EQ((*name)["value"], "Sky Screen Saver");
  EXPECT_EQ((*name)["data"], "536b792053637265656e20536176657200");  // the stored NUL included

  ASSERT_EQ(effects["ini"].size(), 1u) << effects["ini"].dump(2);
  EXPECT_EQ(effects["ini"][0], (json{{"change", "added"}, {"file", "C:\\WINDOWS\\system.ini"}, {"section", "boot"},
                                     {"key", "SCRNSAVE.EXE"}, {"value", "C:\\WINDOWS\\Sky.scr"}}));
  // The setting: system.ini's line and the user's Control Panel\Desktop.
  std::vector<std::string> settings;
  for (const json& setting : effects["screen_saver"])
    settings.push_back((setting["account"].is_null() ? std::string("-") : setting["account"].get<std::string>()) +
                       " " + setting["setting"].get<std::string>() + "=" + setting["value"].get<std::string>());
  EXPECT_EQ(settings, (std::vector<std::string>{"- SCRNSAVE.EXE=C:\\WINDOWS\\Sky.scr",
                                                "Owner ScreenSaveActive=1",
                                                "Owner SCRNSAVE.EXE=C:\\WINDOWS\\Sky.scr"}));
  EXPECT_EQ(effects["started"], (json::array({{{"call", "WinExec"}, {"detail", "\"C:\\WINDOWS\\Sky.scr\" SW_SHOW = 33"}}})));
  ASSERT_EQ(effects["messages"].size(), 2u);
  EXPECT_EQ(effects["messages"][1], (json{{"caption", "Sky Screen Saver Installation"},
                                          {"text", "Installation Complete!"},
                                          {"style", "MB_OK|MB_ICONEXCLAMATION"},
                                          {"answer", "ok = IDOK"}}));
  EXPECT_EQ(effects["exit_code"], 0);
}

TEST(InstallationEffects, RegistryAsARegedit4File) {
  auto value = [](EffectChange change, const std::string& key, const std::string& name, std::uint32_t type,
                  const std::string& data) {
    return preview::RegistryEffect{change, key, false, name, type, {data.begin(), data.end()}};
  };
  const std::string a = "HKEY_LOCAL_MACHINE\\Software\\A", sz(1, '\0');
  preview::InstallationEffects effects;
  effects.registry = {
      value(EffectChange::kAdded, a, "Path", 1, "C:\\x \"y\"" + sz),
      value(EffectChange::kAdded, a, "", 1, "default" + sz),
      value(EffectChange::kChanged, a, "Count", 4, std::string("\x2a\x00\x00\x80", 4)),
      value(EffectChange::kAdded, a, "Raw", 3, "\x01\xff"),
      value(EffectChange::kAdded, a, "Two lines", 1, "a\r\nb" + sz),
      value(EffectChange::kAdded, a, "No NUL", 1, "ab"),
      value(EffectChange::kRemoved, "HKEY_LOCAL_MACHINE\\Software\\B", "Gone", 0, ""),
      {EffectChange::kRemoved, "HKEY_CURRENT_USER\\Old", true, "", 0, {}},
  };
  EXPECT_EQ(preview::EffectsRegedit4(effects),
            "REGEDIT4\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
            "\"Path\"=\"C:\\\\x \\\"y\\\"\"\r\n"
            "@=\"default\"\r\n"
            "\"Count\"=dword:8000002a\r\n"
            "\"Raw\"=hex:01,ff\r\n"
            "\"Two lines\"=hex(1):61,0d,0a,62,00\r\n"
            "\"No NUL\"=hex(1):61,62\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\B]\r\n"
            "\"Gone\"=-\r\n"
            "\r\n"
            "[-HKEY_CURRENT_USER\\Old]\r\n");
}

// preview --effects: the effects alone on standard output, in the form
// asked for; the transcript on standard error.
TEST(InstallationEffects, PreviewPrintsThemAloneOnStandardOutput) {
  testsupport::TempFolder temp;
  const std::string image = temp.Write("sky.exe", imagewriter::BuildInstallerImage(ThreeEntryImage("Sky")));
  const auto asJson = Saverkit({"preview", image, "--effects", "json"});
  EXPECT_EQ(asJson.exitStatus, 0) << asJson.err;
  EXPECT_EQ(json::parse(asJson.out)["ini"][0]["value"], "C:\\WINDOWS\\Sky.scr");
  EXPECT_EQ(asJson.err.rfind("Transcript:\n", 0), 0u) << asJson.err;

  const auto asReg = Saverkit({"preview", image, "--effects", "reg"});
  EXPECT_EQ(asReg.out.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sky]\r\n"
                            "\"DisplayName\"=\"Sky Screen Saver\"\r\n", 0),
            0u)
      << asReg.out;
  const auto asText = Saverkit({"preview", image, "--effects", "text"});
  EXPECT_NE(asText.out.find("  added C:\\WINDOWS\\Sky.scr 3000 bytes SHA-256 " + Sha256Of(SampleBytes(3000, 's')) + "\n"),
            std::string::npos)
      << asText.out;
  EXPECT_EQ(asText.out.find("Transcript:"), std::string::npos);

  const auto unknown = Saverkit({"preview", image, "--effects", "xml"});
  EXPECT_EQ(unknown.exitStatus, 2);
  EXPECT_TRUE(unknown.out.empty());
}

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
  imagewriter::ManifestContents many = ThreeEntryImage("Sky");
  many.entries.resize(513, many.entries[2]);
  const std::string manyImage = temp_.Write("many.exe", imagewriter::BuildInstallerImage(many));
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
      // Beyond what the stand-in runs in reasonable time: refused, nothing run.
      {"too many entries", {manyImage}, 1, {}, "Transcript",
       "many.exe: the image declares 513 entries; preview and verify run images of at most 512 in the stand-in"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"preview"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto run = Saverkit(arguments);
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
  const auto refused = Saverkit({"preview", image_, "--", "/S", "/Q"});
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
  const auto run = Saverkit({"preview", image});
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
  const auto run = Saverkit({"preview", image_, "--machine", machine});
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
