// What an uninstallation may leave behind: each difference from the machine
// before the installation is either what our uninstaller leaves by design
// (no line) or a leftover named in one line.
#include <gtest/gtest.h>

#include <string>

#include "tool/verify/uninstall_check.h"

namespace {

using preview::EffectChange;

constexpr char kInstallerCopy[] = "C:\\DOWNLOAD\\SETUP.EXE";
const std::string kSession = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

preview::InstallationEffects File(EffectChange change, const std::string& path, bool directory = false) {
  preview::InstallationEffects effects;
  effects.files.push_back({change, path, directory, 0, ""});
  return effects;
}

preview::InstallationEffects Registry(EffectChange change, const std::string& key, const char* name) {
  preview::InstallationEffects effects;
  preview::RegistryEffect value;
  value.change = change;
  value.key = key;
  value.isKey = name == nullptr;
  value.name = name == nullptr ? "" : name;
  effects.registry.push_back(value);
  return effects;
}

TEST(UninstallLeftovers, OnlyTheUninstallersOwnTracesPass) {
  preview::InstallationEffects ini;
  ini.ini.push_back({EffectChange::kChanged, "C:\\WINDOWS\\system.ini", "boot", "SCRNSAVE.EXE", ""});
  const struct {
    preview::InstallationEffects difference;
    bool left;
  } cases[] = {
      {File(EffectChange::kAdded, "C:\\Users\\Ann\\AppData\\Local\\Temp\\UNI1.TMP"), false},
      {File(EffectChange::kAdded, "C:\\Users\\Ann\\AppData\\Local", true), false},  // on the way to Temp
      {File(EffectChange::kAdded, "C:\\WINDOWS\\Temp\\UNI2.TMP"), false},         // the system account's
      {File(EffectChange::kAdded, kInstallerCopy), false},
      {File(EffectChange::kAdded, "C:\\DOWNLOAD", true), false},
      {Registry(EffectChange::kAdded, "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet", nullptr), false},
      {Registry(EffectChange::kAdded, kSession, "PendingFileRenameOperations"), false},
      {Registry(EffectChange::kChanged, kSession, "PendingFileRenameOperations"), false},
      // Anything else is a leftover or a loss.
      {File(EffectChange::kAdded, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Temp\\SKY.DAT"), true},  // a title named Temp
      {File(EffectChange::kAdded, "C:\\Temp\\x.tmp"), true},
      {File(EffectChange::kAdded, "C:\\Users\\Ann\\Desktop\\x.tmp"), true},
      {File(EffectChange::kAdded, "C:\\DOWNLOAD\\OTHER.EXE"), true},
      {File(EffectChange::kRemoved, "C:\\Users\\Ann\\AppData\\Local\\Temp\\mine.txt"), true},
      {Registry(EffectChange::kAdded, kSession, "BootExecute"), true},
      {Registry(EffectChange::kRemoved, kSession, "PendingFileRenameOperations"), true},
      {Registry(EffectChange::kAdded, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", nullptr), true},
      {ini, true},
  };
  for (const auto& c : cases) {
    const auto lines = verify::LeftoversOf(c.difference, kInstallerCopy);
    EXPECT_EQ(lines.size(), c.left ? 1u : 0u) << (lines.empty() ? "" : lines[0]);
  }
}

}  // namespace
