// The roads an account can take through the stand-in (full rights, a
// standard user elevated by an administrator, a refused elevation, the local
// system account): whose screen saver an installation makes, and what the
// uninstaller (whose temporary copy does the work) removes, asked or silent,
// with INSTALL.LOG missing, too long or naming a stranger.
#include <gtest/gtest.h>

#include <filesystem>
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
  // What the installation itself shows, without activating or starting the saver.
  const std::string installed = sky.Progress() + sky.Directories() + sky.Files() + sky.LogClosed(109) +
                                kProgressEnd + "message box \"" + sky.Caption() +
                                "\" \"Installation Complete!\" MB_OK|MB_ICONEXCLAMATION -> ok = IDOK\n" + kInfoDialog;
  const std::string started = "WinExec \"" + sky.Saver() + "\" SW_SHOW = 33\n";
  const std::string setting = "Control Panel\\Desktop \"SCRNSAVE.EXE\" = REG_SZ \"" + sky.Saver() + "\"";
  struct Case {
    const char* name;
    std::string user;
    bool limited;  // elevated as Admin
    bool refused;
    std::vector<std::string> answers;
    std::string transcript;
    std::string settingIn;  // the account whose hive gets the setting; "" none
    bool installed;
  } cases[] = {
      {"standard user, administrator's password", "Ann", true, false, {"ok", "ok", "ok"},
       elevate + "TRUE elevated as Admin\n" +
           AsChild(sky.Confirmation() + kOk + installed + "exit 0\n") +
           sky.Activation(sky.Saver(), "Ann") + started + "exit 0\n",
       "Ann", true},
      {"cancelled in the elevated child", "Ann", true, false, {"cancel"},
       elevate + "TRUE elevated as Admin\n" +
           AsChild(sky.Confirmation() + " -> cancel = IDCANCEL\nexit 2\n") + "exit 2\n",
       "", false},
      {"elevation refused", "Ann", true, true, {},
       elevate + "FALSE ERROR_CANCELLED (elevation refused)\nexit 8\n", "", false},
      {"local system account", "SYSTEM", false, false, {"ok", "ok", "ok"},
       sky.Confirmation() + kOk + installed + "exit 0\n", "", true},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings = AccountSettings(c.user, c.limited);
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

// What an uninstallation may leave: the temporary copy of the uninstaller
// and the moved-aside original, both deleted when Windows next starts (so
// named in the registry, under keys of Windows' own), and the screen saver
// switched off; and the setup the user downloaded.
bool AcceptedLeftover(const std::string& change) {
  const bool temporary = change.find("\\Temp\\sk") != std::string::npos && change.find(".tmp") != std::string::npos;
  return (change.rfind("file added ", 0) == 0 && temporary) ||
         change.rfind("file added C:\\DOWNLOAD\\SETUP.EXE ", 0) == 0 || change == "directory added C:\\DOWNLOAD" ||
         change.rfind("registry key added HKEY_LOCAL_MACHINE\\System", 0) == 0 ||
         change.find("\"PendingFileRenameOperations\"") != std::string::npos ||
         change.find("\"ScreenSaveActive\" = REG_SZ \"0\"") != std::string::npos;
}

// The changes between two snapshots that an uninstallation may not leave.
std::vector<std::string> Unaccepted(const hostwin::MachineSnapshot& before, const hostwin::MachineSnapshot& after) {
  std::vector<std::string> left;
  for (const std::string& change : hostwin::FormatChanges(hostwin::CompareSnapshots(before, after)))
    if (!AcceptedLeftover(change)) left.push_back(change);
  return left;
}

// Fifteen files of the system: the report lists twelve and counts the rest.
std::string Strangers() {
  std::string lines;
  for (int i = 0; i < 15; ++i) lines += "C:\\WINDOWS\\s" + std::to_string(i) + ".dat\r\n";
  return lines;
}

std::string StrangersReported() {
  std::string text = "child: message box \"Sky Uninstall\" \"The Sky screen saver has been removed, except for the "
                     "following.\\n\\nListed in INSTALL.LOG but outside this screen saver's folders, so left alone:";
  for (int i = 0; i < 12; ++i) text += "\\n    C:\\WINDOWS\\s" + std::to_string(i) + ".dat";
  return text + "\\n    ... and 3 more\\n\" MB_OK|MB_ICONEXCLAMATION -> ok";
}

TEST(UninstallRoads, EachAccountsRoadRemovesAllOrNothing) {
  const Sky sky;
  const std::string uninstaller = sky.Folder() + "\\UNINSTAL.EXE";
  const std::string log = sky.Folder() + "\\INSTALL.LOG";
  enum class Outcome { kAllGone, kNothingGone, kLogKept, kSelfKept };
  struct Case {
    const char* name;
    std::string user;
    bool limited;  // elevated as Admin
    std::vector<std::string> answers;  // the uninstaller's
    std::string switches;
    bool refuseElevation;
    void (*damage)(Machine&, const std::string& log);
    int code;
    Outcome outcome;
    const char* clearedIn;        // whose setting the run clears; nullptr: nobody's
    std::vector<std::string> inOrder;  // transcript lines that begin so, in this order
  } cases[] = {
      {"asked, full rights", "Owner", false, {"yes", "ok"}, "", false, nullptr, 0, Outcome::kAllGone, "Owner",
       {"message box \"Sky Uninstall\" \"Do you want to remove the Sky screen saver",
        "file create C:\\Users\\Owner\\AppData\\Local\\Temp\\skU1.tmp",
        "CreateProcessA \"C:\\Users\\Owner\\AppData\\Local\\Temp\\skU1.tmp\"",
        "child: file move " + uninstaller + " -> C:\\Users\\Owner\\AppData\\Local\\Temp\\skO1.tmp",
        "child: file delete at restart C:\\Users\\Owner\\AppData\\Local\\Temp\\skO1.tmp",
        "child: message box \"Sky Uninstall\" \"The Sky screen saver has been removed.\"",
        "child: file delete at restart C:\\Users\\Owner\\AppData\\Local\\Temp\\skU1.tmp", "child: exit 0",
        "exit 0"}},
      {"silent, full rights", "Owner", false, {}, "/S", false, nullptr, 0, Outcome::kAllGone, "Owner",
       {"CreateProcessA", "child: directory delete C:\\WINDOWS\\MARLOWEN", "exit 0"}},
      {"standard user, administrator's password", "Ann", true, {"yes", "ok"}, "", false, nullptr, 0,
       Outcome::kAllGone, "Ann",
       {"message box \"Sky Uninstall\" \"Do you want to remove",
        "ShellExecuteExA \"runas\" \"" + uninstaller + "\" params \"/ELEVATED-CHILD\" SW_SHOWNORMAL = TRUE elevated as Admin",
        "child: CreateProcessA \"C:\\Users\\Admin\\AppData\\Local\\Temp\\skU1.tmp\"",
        "child: child: message box \"Sky Uninstall\" \"The Sky screen saver has been removed.\"",
        "child: exit 0", "registry delete HKEY_USERS\\Ann\\Control Panel\\Desktop \"SCRNSAVE.EXE\"", "exit 0"}},
      {"standard user, silent", "Ann", true, {}, "/S", false, nullptr, 0, Outcome::kAllGone, "Ann",
       {"ShellExecuteExA \"runas\" \"" + uninstaller + "\" params \"/ELEVATED-CHILD /S\"", "child: exit 0",
        "exit 0"}},
      {"elevation refused", "Ann", true, {"yes"}, "", true, nullptr, 8, Outcome::kNothingGone, nullptr,
       {"ShellExecuteExA \"runas\" \"" + uninstaller + "\" params \"/ELEVATED-CHILD\" SW_SHOWNORMAL = FALSE ERROR_CANCELLED",
        "exit 8"}},
      {"declined", "Owner", false, {"no"}, "", false, nullptr, 2, Outcome::kNothingGone, nullptr, {"exit 2"}},
      {"local system account", "SYSTEM", false, {}, "/S", false, nullptr, 0, Outcome::kAllGone, nullptr,
       {"CreateProcessA \"C:\\WINDOWS\\Temp\\skU1.tmp\"", "exit 0"}},
      {"INSTALL.LOG missing", "Owner", false, {}, "/S", false,
       [](Machine& m, const std::string& path) { std::remove(hostwin::HostPathInMachine(m.folder(), path).c_str()); },
       5, Outcome::kLogKept, "Owner", {"child: registry delete HKEY_LOCAL_MACHINE", "exit 5"}},
      {"INSTALL.LOG too long", "Owner", false, {}, "/S", false,
       [](Machine& m, const std::string& path) { m.Put(path, std::string(256 * 1024 + 1, '\n')); }, 5,
       Outcome::kLogKept, "Owner", {"exit 5"}},
      // No copy can be made: the original removes what it can itself, and
      // it, the log and the folder stay for a second run.
      {"no temporary directory", "Owner", false, {}, "/S", false,
       [](Machine& m, const std::string&) {
         std::filesystem::remove_all(hostwin::HostPathInMachine(m.folder(), "C:\\Users\\Owner\\AppData\\Local\\Temp"));
         m.Put("C:\\Users\\Owner\\AppData\\Local\\Temp", "a file");
       },
       4, Outcome::kSelfKept, "Owner", {"file delete C:\\WINDOWS\\Sky.scr", "exit 4"}},
      {"INSTALL.LOG names fifteen files of the system", "Owner", false, {"yes", "ok"}, "", false,
       [](Machine& m, const std::string& path) { m.Put(path, m.Read(path) + Strangers()); }, 4, Outcome::kAllGone,
       "Owner", {StrangersReported(), "exit 4"}},
      {"INSTALL.LOG names a file of the system", "Owner", false, {"yes", "ok"}, "", false,
       [](Machine& m, const std::string& path) { m.Put(path, m.Read(path) + "C:\\WINDOWS\\system.ini\r\n"); }, 4,
       Outcome::kAllGone, "Owner",
       {"child: message box \"Sky Uninstall\" \"The Sky screen saver has been removed, except for the "
        "following.\\n\\nListed in INSTALL.LOG but outside this screen saver's folders, so left alone:\\n"
        "    C:\\WINDOWS\\system.ini",
        "exit 4"}},
  };
  for (const Case& c : cases) {
    hostwin::MachineSettings settings = AccountSettings(c.user, c.limited);
    Machine machine(settings);
    const hostwin::MachineSnapshot clean = hostwin::TakeSnapshot(machine.folder());
    const auto installed = machine.Install(ThreeEntryImage("Sky"), {}, "/S");
    ASSERT_EQ(installed.exitCode, 0) << c.name << "\n" << Joined(installed.transcript);
    if (c.damage) c.damage(machine, log);
    if (c.refuseElevation) {
      settings.elevationRefused = true;
      machine.Configure(settings);
    }
    const hostwin::MachineSnapshot before = hostwin::TakeSnapshot(machine.folder());

    const auto result = machine.Uninstall(uninstaller, c.answers, c.switches);
    const std::string transcript = Joined(result.transcript);
    EXPECT_EQ(result.exitCode, c.code) << c.name << "\n" << transcript;
    EXPECT_EQ(result.loudErrors, 0) << c.name << "\n" << transcript;
    std::size_t at = 0;
    for (const std::string& line : c.inOrder) {
      while (at < result.transcript.size() && result.transcript[at].rfind(line, 0) != 0) ++at;
      if (at == result.transcript.size()) {
        ADD_FAILURE() << c.name << ": no line " << line << " (in this order)\n" << transcript;
        break;
      }
      ++at;
    }
    if (c.switches == "/S") {
      EXPECT_EQ(transcript.find("message box"), std::string::npos) << c.name;
    }

    const hostwin::MachineSnapshot after = hostwin::TakeSnapshot(machine.folder());
    const std::vector<std::string> changes = hostwin::FormatChanges(hostwin::CompareSnapshots(before, after));
    switch (c.outcome) {
      case Outcome::kAllGone:
        // Nothing of the installation is left but the accepted leftovers:
        // system.ini's bytes differ, its [boot] values do not.
        for (const std::string& change : Unaccepted(clean, after))
          EXPECT_EQ(change.rfind("file changed C:\\WINDOWS\\system.ini ", 0), 0u) << c.name << ": " << change;
        EXPECT_FALSE(machine.Exists(sky.Folder())) << c.name;
        break;
      case Outcome::kNothingGone:
        EXPECT_EQ(changes, std::vector<std::string>()) << c.name;
        break;
      case Outcome::kLogKept:
        // Only what the log lists goes: with no usable log the files stay,
        // the key goes.
        EXPECT_TRUE(machine.Exists(sky.Saver())) << c.name;
        EXPECT_TRUE(machine.Exists(sky.Folder())) << c.name;
        EXPECT_EQ(machine.Registry().find("Uninstall\\Sky]"), std::string::npos) << c.name;
        break;
      case Outcome::kSelfKept:
        EXPECT_FALSE(machine.Exists(sky.Saver())) << c.name;
        EXPECT_TRUE(machine.Exists(uninstaller)) << c.name;
        EXPECT_TRUE(machine.Exists(log)) << c.name;
        break;
    }
    // The setting is cleared in the hive of the user who started the
    // uninstaller and of nobody else.
    for (const char* account : {"Owner", "Ann", "Admin", "SYSTEM"}) {
      const std::string value = std::string("HKEY_USERS\\") + account + "\\Control Panel\\Desktop \"SCRNSAVE.EXE\"";
      std::vector<std::string> touched;
      for (const std::string& line : changes)
        if (line.find(value) != std::string::npos) touched.push_back(line.substr(0, line.find(" = ")));
      const bool cleared = c.clearedIn && std::string(c.clearedIn) == account;
      EXPECT_EQ(touched, cleared ? std::vector<std::string>{"registry removed " + value} : std::vector<std::string>())
          << c.name << " " << account;
    }
  }
}

}  // namespace
