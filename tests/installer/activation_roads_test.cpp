// Whose screen saver an installation makes, on each road an account can
// take through the stand-in: full rights (as under Wine), a standard user
// elevated with an administrator's password, a refused elevation, and the
// local system account.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "installer_fixture.h"

namespace {

using namespace installertest;

// Each line of `lines` marked as the elevated child's.
std::string AsChild(const std::string& lines) {
  std::istringstream in(lines);
  std::string out;
  for (std::string line; std::getline(in, line);) out += "child: " + line + "\n";
  return out;
}

// The registry changes of a run that lie in `account`'s hive.
std::string HiveChanges(const hostwin::RunResult& result, const std::string& account) {
  std::string out;
  for (const std::string& line : hostwin::FormatChanges(result.changes))
    if (line.find("HKEY_USERS\\" + account + "\\") != std::string::npos) out += line + "\n";
  return out;
}

TEST(ActivationRoads, TheSettingLandsInTheStartingUsersHive) {
  const Sky sky;
  const std::string elevate =
      "ShellExecuteExA \"runas\" \"C:\\DOWNLOAD\\SETUP.EXE\" params \"/ELEVATED-CHILD\" SW_SHOWNORMAL = ";
  // What the installation itself shows, up to the start of the saver.
  const std::string untilStart = sky.Progress() + sky.Directories() + sky.Files() + sky.LogClosed(109);
  const std::string completion = kProgressEnd + "message box \"" + sky.Caption() +
                                 "\" \"Installation Complete!\" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK\n" +
                                 kInfoDialog;
  const std::string started = "WinExec \"" + sky.Saver() + "\" SW_SHOW = 33\n";
  const std::string setting = "Control Panel\\Desktop \"SCRNSAVE.EXE\" = REG_SZ \"" + sky.Saver() + "\"";
  struct Case {
    const char* name;
    std::string user;
    bool limited;
    std::string elevateAs;
    bool refused;
    std::vector<std::string> answers;
    std::string transcript;
    std::string settingIn;  // the account whose hive gets the setting; "" none
    bool installed;
  } cases[] = {
      {"full rights, the desktop's only user", "Owner", false, "", false, {"ok", "ok", "ok"},
       sky.Confirmation() + kOk + sky.Installed(), "Owner", true},
      {"standard user, administrator's password", "Ann", true, "Admin", false, {"ok", "ok", "ok"},
       elevate + "TRUE elevated as Admin\n" +
           AsChild(sky.Confirmation() + kOk + untilStart + completion + "exit 0\n") +
           sky.Activation(sky.Saver(), "Ann") + started + "exit 0\n",
       "Ann", true},
      {"cancelled in the elevated child", "Ann", true, "Admin", false, {"cancel"},
       elevate + "TRUE elevated as Admin\n" +
           AsChild(sky.Confirmation() + " -> cancel = IDCANCEL\nexit 2\n") + "exit 2\n",
       "", false},
      {"elevation refused", "Ann", true, "Admin", true, {},
       elevate + "FALSE ERROR_CANCELLED (elevation refused)\nexit 8\n", "", false},
      {"local system account", "SYSTEM", false, "", false, {"ok", "ok", "ok"},
       sky.Confirmation() + kOk + untilStart + completion + "exit 0\n", "", true},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.account = c.user;
    settings.tokenLimited = c.limited;
    settings.elevateAs = c.elevateAs;
    settings.elevationRefused = c.refused;
    Machine machine(settings);
    const auto result = machine.Install(ThreeEntryImage("Sky"), c.answers);
    ExpectTranscript(result, c.transcript, c.name);
    EXPECT_EQ(machine.Exists(sky.Folder() + "\\UNINSTAL.EXE"), c.installed) << c.name;
    EXPECT_EQ(machine.Exists(sky.Saver()), c.installed) << c.name;
    const std::string changes = ChangesOf(result);
    EXPECT_EQ(changes.find("[boot] SCRNSAVE.EXE") != std::string::npos, !c.settingIn.empty()) << c.name;
    // Nobody else's hive changes; the setting is in the starting user's.
    for (const char* account : {"Owner", "Ann", "Admin", "SYSTEM"}) {
      if (account == c.settingIn) {
        EXPECT_NE(HiveChanges(result, account).find(setting), std::string::npos) << c.name << changes;
      } else {
        EXPECT_EQ(HiveChanges(result, account), "") << c.name << " " << account;
      }
    }
  }
}

// Silent, logged: the elevated child writes the run's log and the launcher
// adds its own lines behind it (the setting, no start); as the local system
// account the log says why nothing was activated.
TEST(ActivationRoads, SilentRunsLogWhoActivated) {
  const Sky sky;
  const std::string logPath = "C:\\setup.log";
  struct Case {
    const char* name;
    std::string user;
    bool limited;
    std::vector<std::string> inOrder;  // lines expected in this order
  } cases[] = {
      {"standard user, administrator's password", "Ann", true,
       {"switches /S /LOG=C:\\setup.log", "activation left to the launcher", "exit code 0",
        "elevated installation ended with exit code 0",
        "registry HKEY_CURRENT_USER\\Control Panel\\Desktop \"SCRNSAVE.EXE\" = REG_SZ \"" + sky.Saver() + "\"",
        "screen saver switched on", "exit code 0"}},
      {"local system account", "SYSTEM", false,
       {"running as the local system account: no user's desktop", "exit code 0"}},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings;
    settings.account = c.user;
    settings.tokenLimited = c.limited;
    settings.elevateAs = c.limited ? "Admin" : "";
    Machine machine(settings);
    const auto result = machine.Install(ThreeEntryImage("Sky"), {}, "/S /LOG=" + logPath);
    EXPECT_EQ(result.exitCode, 0) << c.name << "\n" << Joined(result.transcript);
    EXPECT_EQ(Joined(result.transcript).find("WinExec"), std::string::npos) << c.name;
    const std::string log = machine.Read(logPath);
    std::size_t at = 0;
    for (const std::string& line : c.inOrder) {
      at = log.find(line, at);
      ASSERT_NE(at, std::string::npos) << c.name << ": " << line << "\n" << log;
    }
    if (!c.limited) {
      EXPECT_EQ(log.find("SCRNSAVE.EXE"), std::string::npos) << c.name << "\n" << log;
    }
  }
}

}  // namespace
