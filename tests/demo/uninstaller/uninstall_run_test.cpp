// The uninstaller's work in order, over a simulated machine: what goes,
// what stays, and what the report says.
#include "demo/uninstaller/uninstall_run.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

using uninstaller::UninstallPlace;
using uninstaller::UninstallReport;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return s;
}

// Files and folders by upper-cased full path; every action is recorded.
class FakeSystem : public uninstaller::UninstallSystem {
 public:
  std::map<std::string, std::string> Files;
  std::set<std::string> Folders;
  std::set<std::string> Locked;
  std::string Setting;
  std::string SaverShortPath;  // answered while the screen saver exists
  bool KeyExists = true;
  bool SettingCleared = false;
  std::string UserSetting;  // HKEY_CURRENT_USER's own value
  bool UserSettingCleared = false;
  std::vector<std::string> Actions;

  void AddFile(const std::string& path, const std::string& text = "x") { Files[Upper(path)] = text; }
  bool HasFile(const std::string& path) const { return Files.count(Upper(path)) != 0; }
  bool HasFolder(const std::string& path) const { return Folders.count(Upper(path)) != 0; }

  bool ReadText(const std::string& path, std::size_t limit, std::string* text, bool* cut) override {
    Actions.push_back("read " + path);
    auto it = Files.find(Upper(path));
    if (it == Files.end()) return false;
    *text = it->second.substr(0, limit);
    *cut = it->second.size() > limit;
    return true;
  }
  bool RemoveFile(const std::string& path) override {
    Actions.push_back("delete " + path);
    if (Locked.count(Upper(path))) return false;
    Files.erase(Upper(path));
    return true;
  }
  bool RemoveFolder(const std::string& path) override {
    Actions.push_back("rmdir " + path);
    const std::string prefix = Upper(path) + "\\";
    for (const auto& file : Files)
      if (file.first.compare(0, prefix.size(), prefix) == 0) return false;
    for (const auto& folder : Folders)
      if (folder.compare(0, prefix.size(), prefix) == 0) return false;
    Folders.erase(Upper(path));
    return true;
  }
  bool RemoveUninstallKey(const std::string& keyName) override {
    Actions.push_back("key " + keyName);
    KeyExists = false;
    return true;
  }
  std::string ScreenSaverSetting() override {
    Actions.push_back("setting");
    return Setting;
  }
  void ClearScreenSaverSetting() override {
    Actions.push_back("clear setting");
    SettingCleared = true;
  }
  std::string UserScreenSaverSetting() override {
    Actions.push_back("user setting");
    return UserSetting;
  }
  void ClearUserScreenSaverSetting() override {
    Actions.push_back("clear user setting");
    UserSettingCleared = true;
  }
  std::string LongForm(const std::string& path) override { return path; }
  std::string ShortForm(const std::string& path) override {
    return HasFile(path) ? SaverShortPath : std::string();
  }
};

const char kTitleDirectory[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora";
const char kSaver[] = "C:\\WINDOWS\\Saverkit Aurora.scr";
const char kData[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\Saverkit Aurora.DAT";
const char kUninstaller[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\UNINSTAL.EXE";
const char kMidi[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\JUKE0023.MID";
const char kLog[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\INSTALL.LOG";
const char kStranger[] = "C:\\WINDOWS\\system32\\kernel32.dll";
const char kOtherProduct[] = "C:\\WINDOWS\\MARLOWEN\\OTHER\\keep.dat";

UninstallPlace Place() {
  UninstallPlace place;
  EXPECT_TRUE(uninstaller::MakeUninstallPlace("C:\\WINDOWS", kTitleDirectory, &place));
  return place;
}

// An installation made twice, whose log also names a file of the system.
FakeSystem InstalledMachine() {
  FakeSystem machine;
  std::string log;
  for (int installation = 0; installation < 2; ++installation)
    for (const char* path : {kSaver, kData, kUninstaller, kMidi}) log += std::string(path) + "\r\n";
  log += std::string(kStranger) + "\r\n";
  for (const char* path : {kSaver, kData, kUninstaller, kMidi, kStranger, kOtherProduct}) machine.AddFile(path);
  machine.AddFile(kLog, log);
  for (const char* folder : {"C:\\WINDOWS\\MARLOWEN", "C:\\WINDOWS\\MARLOWEN\\VELDRAKE", kTitleDirectory,
                             "C:\\WINDOWS\\MARLOWEN\\OTHER"})
    machine.Folders.insert(Upper(folder));
  machine.SaverShortPath = "C:\\WINDOWS\\SAVERK~1.SCR";
  machine.Setting = "C:\\WINDOWS\\SAVERK~1.SCR";
  return machine;
}

TEST(RemoveInstallation, RemovesEverythingItOwnsAndNothingElse) {
  FakeSystem machine = InstalledMachine();
  const UninstallReport report = uninstaller::RemoveInstallation(Place(), "", &machine);

  for (const char* path : {kSaver, kData, kUninstaller, kMidi, kLog}) EXPECT_FALSE(machine.HasFile(path)) << path;
  EXPECT_TRUE(machine.HasFile(kStranger));
  EXPECT_TRUE(machine.HasFile(kOtherProduct));
  EXPECT_FALSE(machine.HasFolder(kTitleDirectory));
  EXPECT_FALSE(machine.HasFolder("C:\\WINDOWS\\MARLOWEN\\VELDRAKE"));
  EXPECT_TRUE(machine.HasFolder("C:\\WINDOWS\\MARLOWEN"));  // another product lives there
  EXPECT_FALSE(machine.KeyExists);
  EXPECT_TRUE(machine.SettingCleared);
  EXPECT_TRUE(report.NotRemoved.empty());
  EXPECT_EQ(report.LeftAlone, std::vector<std::string>{kStranger});

  // Each file is deleted once, although the log lists it twice, and the
  // system file is never even tried.
  std::map<std::string, int> deletes;
  for (const std::string& action : machine.Actions)
    if (action.rfind("delete ", 0) == 0) ++deletes[action.substr(7)];
  EXPECT_EQ(deletes, (std::map<std::string, int>{{kSaver, 1}, {kData, 1}, {kUninstaller, 1}, {kMidi, 1}, {kLog, 1}}));
  EXPECT_EQ(std::count(machine.Actions.begin(), machine.Actions.end(),
                       "key Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Saverkit Aurora"),
            1);
}

// Each of the running user's settings is cleared when it names this screen
// saver (short or long path); none is touched by an elevated process whose
// launcher clears them for the user who started it.
TEST(RemoveInstallation, ClearsEachOfTheUsersSettingsThatNamesThisScreenSaver) {
  const char* const ours = "C:\\WINDOWS\\SAVERK~1.SCR";
  const struct {
    const char* systemIni;
    const char* currentUser;
    bool clearsUserSettings;
    bool systemIniCleared, currentUserCleared;
  } cases[] = {
      {ours, ours, true, true, true},
      {"C:\\WINDOWS\\logon.scr", kSaver, true, false, true},
      {ours, "", true, true, false},
      {"C:\\WINDOWS\\SAVERK~2.SCR", "C:\\WINDOWS\\logon.scr", true, false, false},
      {"", "", true, false, false},
      {ours, ours, false, false, false},
  };
  for (const auto& c : cases) {
    FakeSystem machine = InstalledMachine();
    machine.Setting = c.systemIni;
    machine.UserSetting = c.currentUser;
    uninstaller::RemoveInstallation(Place(), "", &machine, c.clearsUserSettings);
    const std::string row = std::string(c.systemIni) + " | " + c.currentUser;
    EXPECT_EQ(machine.SettingCleared, c.systemIniCleared) << row;
    EXPECT_EQ(machine.UserSettingCleared, c.currentUserCleared) << row;
    EXPECT_FALSE(machine.HasFile(kSaver)) << row;
  }
}

TEST(RemoveInstallation, RunningFromTheTitleDirectoryLeavesItselfTheLogAndTheFolder) {
  FakeSystem machine = InstalledMachine();
  const UninstallReport report = uninstaller::RemoveInstallation(Place(), kUninstaller, &machine);
  EXPECT_TRUE(machine.HasFile(kUninstaller));
  EXPECT_TRUE(machine.HasFile(kLog));  // so that a second run can finish
  EXPECT_FALSE(machine.HasFile(kData));
  EXPECT_FALSE(machine.KeyExists);
  EXPECT_EQ(report.NotRemoved, (std::vector<std::string>{std::string(kUninstaller) + " (in use by this uninstaller)",
                                                         kTitleDirectory}));
  // Nothing above the title directory is tried while it stays.
  for (const std::string& action : machine.Actions) EXPECT_NE(action, "rmdir C:\\WINDOWS\\MARLOWEN\\VELDRAKE");
}

TEST(RemoveInstallation, LockedFileIsReportedAndKeepsTheLog) {
  FakeSystem machine = InstalledMachine();
  machine.Locked.insert(Upper(kMidi));
  const UninstallReport report = uninstaller::RemoveInstallation(Place(), "", &machine);
  EXPECT_TRUE(machine.HasFile(kMidi));
  EXPECT_TRUE(machine.HasFile(kLog));
  EXPECT_EQ(report.NotRemoved, (std::vector<std::string>{kMidi, kTitleDirectory}));
}

TEST(RemoveInstallation, WithoutALogTheRestIsStillUndone) {
  FakeSystem machine = InstalledMachine();
  machine.Files.erase(Upper(kLog));
  for (const char* path : {kData, kUninstaller, kMidi}) machine.Files.erase(Upper(path));
  const UninstallReport report = uninstaller::RemoveInstallation(Place(), "", &machine);
  EXPECT_TRUE(machine.HasFile(kSaver));  // only what the log lists is deleted
  EXPECT_FALSE(machine.KeyExists);
  EXPECT_FALSE(machine.HasFolder(kTitleDirectory));
  ASSERT_EQ(report.NotRemoved.size(), 1u);
  EXPECT_NE(report.NotRemoved[0].find("could not be read"), std::string::npos);
}

TEST(RemoveInstallation, SettingIsJudgedBeforeTheScreenSaverIsDeleted) {
  // The short form of the screen saver's path exists only while the file
  // does; asked afterwards, the setting would not be recognised.
  FakeSystem machine = InstalledMachine();
  uninstaller::RemoveInstallation(Place(), "", &machine);
  const auto deleteSaver = std::find(machine.Actions.begin(), machine.Actions.end(), std::string("delete ") + kSaver);
  for (const char* read : {"setting", "user setting"}) {
    const auto setting = std::find(machine.Actions.begin(), machine.Actions.end(), read);
    ASSERT_NE(setting, machine.Actions.end()) << read;
    EXPECT_LT(setting, deleteSaver) << read;
  }
}

TEST(FormatReport, SuccessOrListsCutToTheirLimit) {
  bool warning = true;
  EXPECT_EQ(uninstaller::FormatReport(Place(), UninstallReport(), &warning),
            "The Saverkit Aurora screen saver has been removed.");
  EXPECT_FALSE(warning);

  UninstallReport report;
  report.NotRemoved = {"C:\\a"};
  for (int i = 0; i < 15; ++i) report.LeftAlone.push_back("line " + std::to_string(i));
  const std::string text = uninstaller::FormatReport(Place(), report, &warning);
  EXPECT_TRUE(warning);
  EXPECT_NE(text.find("Could not be removed:\n    C:\\a\n"), std::string::npos);
  EXPECT_NE(text.find("line 11"), std::string::npos);
  EXPECT_EQ(text.find("line 12"), std::string::npos);
  EXPECT_NE(text.find("... and 3 more"), std::string::npos);
}

// Everything removed is 0; a remaining or left-alone file 4; a log that
// cannot be used 5.
TEST(UninstallExitCode, FollowsWhatWasRemoved) {
  struct Case {
    const char* name;
    void (*prepare)(FakeSystem&);
    int code;
  } cases[] = {
      {"everything removed",
       [](FakeSystem& m) {
         std::string log;
         for (const char* path : {kSaver, kData, kUninstaller, kMidi}) log += std::string(path) + "\r\n";
         m.Files[Upper(kLog)] = log;
       },
       0},
      {"a system file listed, left alone", [](FakeSystem&) {}, 4},
      {"a locked file", [](FakeSystem& m) { m.Locked.insert(Upper(kMidi)); }, 4},
      {"no log", [](FakeSystem& m) { m.Files.erase(Upper(kLog)); }, 5},
      {"a log too long", [](FakeSystem& m) { m.Files[Upper(kLog)] = std::string(uninstaller::kMaxInstallLogBytes + 1, 'x'); }, 5},
  };
  for (const Case& c : cases) {
    FakeSystem machine = InstalledMachine();
    c.prepare(machine);
    const UninstallReport report = uninstaller::RemoveInstallation(Place(), "", &machine);
    EXPECT_EQ(uninstaller::ExitCodeOf(report), c.code) << c.name;
    if (c.code == 0) {
      EXPECT_FALSE(machine.HasFolder(kTitleDirectory)) << c.name;
    }
  }
}

// The first stage asks unless silent, and ends with the finishing copy's
// code; without a copy, with the code of its own removal.
TEST(UninstallFirstStage, EndsWithTheCopysCode) {
  struct FakeStart : uninstaller::FirstStageSystem {
    bool answer = true, copyStarts = true;
    int copyCode = 0;
    std::vector<std::string> calls;
    bool ConfirmRemoval() override {
      calls.push_back("ask");
      return answer;
    }
    bool RunFinishingCopy(bool silent, int* exitCode) override {
      calls.push_back(silent ? "copy /S" : "copy");
      *exitCode = copyCode;
      return copyStarts;
    }
    int RemoveHere(bool silent) override {
      calls.push_back(silent ? "here /S" : "here");
      return 4;
    }
  };
  struct Case {
    bool silent, answer, copyStarts;
    int copyCode;
    int code;
    std::vector<std::string> calls;
  } cases[] = {
      {true, false, true, 0, 0, {"copy /S"}},
      {true, false, true, 5, 5, {"copy /S"}},
      {false, true, true, 4, 4, {"ask", "copy"}},
      {false, false, true, 0, 2, {"ask"}},
      {true, true, false, 0, 4, {"copy /S", "here /S"}},
  };
  for (const Case& c : cases) {
    FakeStart system;
    system.answer = c.answer;
    system.copyStarts = c.copyStarts;
    system.copyCode = c.copyCode;
    EXPECT_EQ(uninstaller::RunFirstStage(c.silent, &system), c.code);
    EXPECT_EQ(system.calls, c.calls);
  }
}

}  // namespace
