// What an uninstallation may leave behind: each change after a whole
// install-and-uninstall run is either what our uninstaller leaves by design
// (no line) or a leftover named in one line.
#include <gtest/gtest.h>

#include <string>

#include "tool/verify/uninstall_check.h"

namespace {

using Area = hostwin::MachineChange::Area;
using Kind = hostwin::MachineChange::Kind;

constexpr char kInstallerCopy[] = "C:\\DOWNLOAD\\SETUP.EXE";
constexpr char kSession[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";

TEST(UninstallLeftovers, OnlyTheUninstallersOwnTracesPass) {
  const std::string session = kSession;
  const struct {
    Kind kind;
    Area area;
    std::string what;
    bool left;
  } cases[] = {
      {Kind::kAdded, Area::kFile, "C:\\Users\\Ann\\AppData\\Local\\Temp\\UNI1.TMP", false},
      {Kind::kAdded, Area::kDirectory, "C:\\Users\\Ann\\AppData\\Local", false},  // on the way to Temp
      {Kind::kAdded, Area::kFile, "C:\\WINDOWS\\Temp\\UNI2.TMP", false},         // the system account's
      {Kind::kAdded, Area::kFile, kInstallerCopy, false},
      {Kind::kAdded, Area::kDirectory, "C:\\DOWNLOAD", false},
      {Kind::kAdded, Area::kRegistry, "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet", false},
      {Kind::kAdded, Area::kRegistry, session + " \"PendingFileRenameOperations\"", false},
      {Kind::kChanged, Area::kRegistry, session + " \"PendingFileRenameOperations\"", false},
      // Anything else is a leftover or a loss.
      {Kind::kAdded, Area::kFile, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Temp\\SKY.DAT", true},  // a title named Temp
      {Kind::kAdded, Area::kFile, "C:\\Temp\\x.tmp", true},
      {Kind::kAdded, Area::kFile, "C:\\Users\\Ann\\Desktop\\x.tmp", true},
      {Kind::kAdded, Area::kFile, "C:\\DOWNLOAD\\OTHER.EXE", true},
      {Kind::kRemoved, Area::kFile, "C:\\Users\\Ann\\AppData\\Local\\Temp\\mine.txt", true},
      {Kind::kAdded, Area::kRegistry, session + " \"BootExecute\"", true},
      {Kind::kRemoved, Area::kRegistry, session + " \"PendingFileRenameOperations\"", true},
      {Kind::kAdded, Area::kRegistry, "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", true},
      {Kind::kChanged, Area::kSystemIni, "[boot] SCRNSAVE.EXE", true},
  };
  for (const auto& c : cases) {
    const auto lines = verify::LeftoversOf({{c.kind, c.area, c.what, ""}}, kInstallerCopy);
    EXPECT_EQ(lines.size(), c.left ? 1u : 0u) << c.what;
  }
}

}  // namespace
