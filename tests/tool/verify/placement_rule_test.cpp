// The rules verify judges effects by, each held to its table: where an
// installer of this kind may write (each effect within the places, or named
// as outside them), and what an uninstallation may leave behind (our
// uninstaller's own traces, or a leftover named in one line).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/verify/placement_rule.h"
#include "tool/verify/uninstall_check.h"

namespace {

using preview::EffectChange;
using preview::InstallationEffects;

InstallationEffects File(EffectChange change, const std::string& path, bool directory = false) {
  InstallationEffects effects;
  effects.files.push_back({change, path, directory, 0, ""});
  return effects;
}

// A value, or the key itself when `name` is null.
InstallationEffects Registry(const std::string& key, const char* name, EffectChange change = EffectChange::kAdded) {
  InstallationEffects effects;
  effects.registry.push_back({change, key, name == nullptr, name == nullptr ? "" : name, 1, {}});
  return effects;
}

InstallationEffects Ini(const std::string& file, const std::string& section, const std::string& key,
                        EffectChange change = EffectChange::kAdded) {
  InstallationEffects effects;
  effects.ini.push_back({change, file, section, key, "C:\\WINDOWS\\SKY~1.SCR"});
  return effects;
}

InstallationEffects Started(const std::string& call, const std::string& detail, bool withSetting = false) {
  InstallationEffects effects = withSetting ? Ini("C:\\WINDOWS\\system.ini", "boot", "SCRNSAVE.EXE") : InstallationEffects();
  effects.started.push_back({call, detail});
  return effects;
}

struct PlacementCase {
  const char* what;
  InstallationEffects effects;
  const char* line;  // nullptr: within the places
};

TEST(PlacementRule, EachEffectWithinOrNamedOutside) {
  const std::string uninstall = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::string folder = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky";
  const std::string outside = ": outside the places an installer of this kind writes to";
  const PlacementCase cases[] = {
      {"the screen saver", File(EffectChange::kAdded, "C:\\WINDOWS\\Sky.scr"), nullptr},
      {"a media file, other case", File(EffectChange::kAdded, "c:\\windows\\marlowen\\veldrake\\SKY\\JUKE0023.MID"), nullptr},
      {"the install log", File(EffectChange::kAdded, folder + "\\INSTALL.LOG"), nullptr},
      {"system.ini changed", File(EffectChange::kChanged, "C:\\WINDOWS\\system.ini"), nullptr},
      {"the folders on the way", File(EffectChange::kAdded, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE", true), nullptr},
      {"the title folder", File(EffectChange::kAdded, folder, true), nullptr},
      {"a folder inside the title folder", File(EffectChange::kAdded, folder + "\\sub", true),
       "folder added C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\sub"},
      {"a file below the title folder", File(EffectChange::kAdded, folder + "\\sub\\x.dll"),
       "file added C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Sky\\sub\\x.dll"},
      {"another title's folder", File(EffectChange::kAdded, folder + "line\\x.dat"),
       "file added C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Skyline\\x.dat"},
      {"another screen saver", File(EffectChange::kAdded, "C:\\WINDOWS\\Other.scr"), "file added C:\\WINDOWS\\Other.scr"},
      {"win.ini", File(EffectChange::kChanged, "C:\\WINDOWS\\win.ini"), "file changed C:\\WINDOWS\\win.ini"},
      {"a file removed", File(EffectChange::kRemoved, "C:\\WINDOWS\\Sky.scr"),
       "file removed C:\\WINDOWS\\Sky.scr: an installer of this kind removes nothing"},
      {"a value of its uninstall key", Registry(uninstall + "Sky", "DisplayName"), nullptr},
      {"its uninstall key", Registry(uninstall + "sky", nullptr), nullptr},
      {"a key on the way", Registry("HKEY_LOCAL_MACHINE\\Software\\Microsoft", nullptr), nullptr},
      {"another title's key", Registry(uninstall + "Sky2", "DisplayName"), "registry added HKEY_LOCAL_MACHINE\\"},
      {"a key below its key", Registry(uninstall + "Sky\\More", nullptr), "registry added HKEY_LOCAL_MACHINE\\"},
      {"a Run value", Registry("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x"),
       "registry added HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run \"x\""},
      {"the desktop's screen saver", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop", "SCRNSAVE.EXE"), nullptr},
      {"the desktop's switch", Registry("HKEY_USERS\\Admin\\control panel\\desktop", "ScreenSaveActive"), nullptr},
      {"the desktop key", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop", nullptr), nullptr},
      {"the wallpaper", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop", "Wallpaper"),
       "registry added HKEY_USERS\\Owner\\Control Panel\\Desktop \"Wallpaper\""},
      {"a key below the desktop", Registry("HKEY_USERS\\Owner\\Control Panel\\Desktop\\Colors", nullptr),
       "registry added HKEY_USERS\\Owner\\Control Panel\\Desktop\\Colors"},
      {"the [boot] line", Ini("C:\\WINDOWS\\system.ini", "boot", "SCRNSAVE.EXE"), nullptr},
      {"another [boot] line", Ini("C:\\WINDOWS\\system.ini", "boot", "shell"),
       "profile line added C:\\WINDOWS\\system.ini [boot] shell"},
      {"[boot] of win.ini", Ini("C:\\WINDOWS\\win.ini", "boot", "SCRNSAVE.EXE"),
       "profile line added C:\\WINDOWS\\win.ini [boot] SCRNSAVE.EXE"},
      {"its screen saver started", Started("WinExec", "\"C:\\WINDOWS\\Sky.scr\" SW_SHOW = 33"), nullptr},
      {"by the short path it set", Started("WinExec", "\"C:\\WINDOWS\\SKY~1.SCR\" SW_SHOW = 33", true), nullptr},
      {"a short path it did not set", Started("WinExec", "\"C:\\WINDOWS\\SKY~1.SCR\" SW_SHOW = 33"),
       "program started: WinExec"},
      {"another program", Started("WinExec", "\"C:\\WINDOWS\\notepad.exe\" SW_SHOW = 33"), "program started: WinExec"},
      {"itself elevated", Started("ShellExecuteA", "\"runas\" \"C:\\DOWNLOAD\\SETUP.EXE\" params \"/ELEVATED-CHILD\" SW_SHOWNORMAL = 42"), nullptr},
      {"the media player's page",
       Started("ShellExecuteA", "\"open\" \"https://www.microsoft.com/windows/windows-media-player\" SW_SHOWMAXIMIZED = 42"),
       nullptr},
      {"another web page", Started("ShellExecuteA", "\"open\" \"http://example.com\" SW_SHOWNORMAL = 42"),
       "program started: ShellExecuteA"},
  };
  const verify::InstallerPlaces places{"C:\\WINDOWS", "Sky", "C:\\DOWNLOAD\\SETUP.EXE"};
  for (const PlacementCase& c : cases) {
    const std::vector<std::string> lines = verify::MisplacedEffects(c.effects, places);
    if (c.line == nullptr) {
      EXPECT_TRUE(lines.empty()) << c.what << ": " << lines.at(0);
    } else {
      ASSERT_EQ(lines.size(), 1u) << c.what;
      EXPECT_EQ(lines[0].rfind(c.line, 0), 0u) << c.what << ": " << lines[0];
      if (lines[0].find("removes nothing") == std::string::npos && lines[0].rfind("program", 0) != 0) {
        EXPECT_NE(lines[0].find(outside), std::string::npos) << lines[0];
      }
    }
  }
}

// A Windows directory at a drive's root gets no second backslash.
TEST(PlacementRule, WindowsDirectoryAtTheRoot) {
  const verify::InstallerPlaces places{"C:\\", "Sky", "C:\\DOWNLOAD\\SETUP.EXE"};
  EXPECT_TRUE(verify::MisplacedEffects(File(EffectChange::kAdded, "C:\\MARLOWEN\\VELDRAKE\\Sky\\Sky.DAT"), places).empty());
  EXPECT_TRUE(verify::MisplacedEffects(File(EffectChange::kAdded, "C:\\Sky.scr"), places).empty());
  EXPECT_EQ(verify::MisplacedEffects(File(EffectChange::kAdded, "C:\\WINDOWS\\Sky.scr"), places).size(), 1u);
}

TEST(UninstallLeftovers, OnlyTheUninstallersOwnTracesPass) {
  const char* const installerCopy = "C:\\DOWNLOAD\\SETUP.EXE";
  const std::string session = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  const EffectChange added = EffectChange::kAdded;
  const struct {
    InstallationEffects difference;
    bool left;
  } cases[] = {
      {File(added, "C:\\Users\\Ann\\AppData\\Local\\Temp\\UNI1.TMP"), false},
      {File(added, "C:\\Users\\Ann\\AppData\\Local", true), false},  // on the way to Temp
      {File(added, "C:\\WINDOWS\\Temp\\UNI2.TMP"), false},         // the system account's
      {File(added, installerCopy), false},
      {File(added, "C:\\DOWNLOAD", true), false},
      {Registry("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet", nullptr), false},
      {Registry(session, "PendingFileRenameOperations"), false},
      {Registry(session, "PendingFileRenameOperations", EffectChange::kChanged), false},
      // Anything else is a leftover or a loss.
      {File(added, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Temp\\SKY.DAT"), true},  // a title named Temp
      {File(added, "C:\\Temp\\x.tmp"), true},
      {File(added, "C:\\Users\\Ann\\Desktop\\x.tmp"), true},
      {File(added, "C:\\DOWNLOAD\\OTHER.EXE"), true},
      {File(EffectChange::kRemoved, "C:\\Users\\Ann\\AppData\\Local\\Temp\\mine.txt"), true},
      {Registry(session, "BootExecute"), true},
      {Registry(session, "PendingFileRenameOperations", EffectChange::kRemoved), true},
      {Registry("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services", nullptr), true},
      {Ini("C:\\WINDOWS\\system.ini", "boot", "SCRNSAVE.EXE", EffectChange::kChanged), true},
  };
  for (const auto& c : cases) {
    const auto lines = verify::LeftoversOf(c.difference, installerCopy);
    EXPECT_EQ(lines.size(), c.left ? 1u : 0u) << (lines.empty() ? "" : lines[0]);
  }
}

}  // namespace
