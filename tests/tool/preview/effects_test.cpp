// An installation's effects as preview --effects gives them: gathered from
// a real run in the stand-in, the REGEDIT4 form exactly, and the effects
// alone on standard output.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "installer_fixture.h"
#include "run_saverkit.h"
#include "temp_files.h"
#include "tool/commands/sha256.h"
#include "tool/preview/collect_effects.h"

namespace {

using installertest::SampleBytes;
using installertest::ThreeEntryImage;
using nlohmann::json;
using preview::EffectChange;

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
  const auto asJson = testsupport::RunCommand({SAVERKIT_TOOL, "preview", image, "--effects", "json"});
  EXPECT_EQ(asJson.exitStatus, 0) << asJson.err;
  EXPECT_EQ(json::parse(asJson.out)["ini"][0]["value"], "C:\\WINDOWS\\Sky.scr");
  EXPECT_EQ(asJson.err.rfind("Transcript:\n", 0), 0u) << asJson.err;

  const auto asReg = testsupport::RunCommand({SAVERKIT_TOOL, "preview", image, "--effects", "reg"});
  EXPECT_EQ(asReg.out.rfind("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sky]\r\n"
                            "\"DisplayName\"=\"Sky Screen Saver\"\r\n", 0),
            0u)
      << asReg.out;
  const auto asText = testsupport::RunCommand({SAVERKIT_TOOL, "preview", image, "--effects", "text"});
  EXPECT_NE(asText.out.find("  added C:\\WINDOWS\\Sky.scr 3000 bytes SHA-256 " + Sha256Of(SampleBytes(3000, 's')) + "\n"),
            std::string::npos)
      << asText.out;
  EXPECT_EQ(asText.out.find("Transcript:"), std::string::npos);

  const auto unknown = testsupport::RunCommand({SAVERKIT_TOOL, "preview", image, "--effects", "xml"});
  EXPECT_EQ(unknown.exitStatus, 2);
  EXPECT_TRUE(unknown.out.empty());
}

}  // namespace
