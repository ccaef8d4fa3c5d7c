// The uninstaller's rules: a log line that points anywhere but this
// screen saver's own files is never deleted.
#include "demo/uninstaller/uninstall_plan.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/format/install_names.h"

using format::BuildInstalledPath;
using format::BuildWinDir;
using format::PayloadEntry;
using format::kEntryNameSize;
using format::kKindJukUnderscore;
using format::kKindJuke;
using format::kPathBufferSize;

namespace {

using uninstaller::Verdict;

// The plan as lists of text, for whole comparison.
struct Plan {
  std::vector<std::string> Deletions, LeftAlone;
  bool Full = false;
};

Plan PlanOf(const uninstaller::UninstallPlace& place, const std::string& log) {
  static uninstaller::RemovalPlan plan;  // too large for the stack
  uninstaller::PlanRemoval(place, log, &plan);
  Plan lists;
  for (std::size_t i = 0; i < plan.DeletionCount; ++i) lists.Deletions.push_back(plan.Deletions[i]);
  for (std::size_t i = 0; i < plan.LeftAloneCount; ++i) {
    char shown[kPathBufferSize];
    uninstaller::ShowLogLine(std::string_view(log).substr(plan.LeftAlone[i].Offset, plan.LeftAlone[i].Length), shown);
    lists.LeftAlone.push_back(shown);
  }
  lists.Full = plan.Full;
  return lists;
}

uninstaller::UninstallPlace Place(const char* windows = "C:\\WINDOWS",
                                  const char* title = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title") {
  uninstaller::UninstallPlace place;
  EXPECT_TRUE(uninstaller::MakeUninstallPlace(windows, title, &place));
  return place;
}

// Spelt by the installer's rules, not as given; the log, the uninstall key
// and the folders removed are checked by the uninstall roads.
TEST(UninstallPlace, SpellsEveryPlaceByTheInstallersRules) {
  const uninstaller::UninstallPlace place = Place("C:\\WINDOWS", "c:\\windows\\marlowen\\veldrake\\Saverkit Aurora");
  EXPECT_STREQ(place.Title, "Saverkit Aurora");
  EXPECT_STREQ(place.TitleDirectory, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora");
  EXPECT_STREQ(place.ScreenSaverPath, "C:\\WINDOWS\\Saverkit Aurora.scr");
}

TEST(UninstallPlace, WindowsDirectoryAtADriveRootGetsNoSecondBackslash) {
  const uninstaller::UninstallPlace place = Place("D:\\", "D:\\MARLOWEN\\VELDRAKE\\My.Saver");
  EXPECT_STREQ(place.ScreenSaverPath, "D:\\My.Saver.scr");
  EXPECT_STREQ(place.TitleDirectory, "D:\\MARLOWEN\\VELDRAKE\\My.Saver");
}

TEST(UninstallPlace, RefusesAnyOtherFolder) {
  const char* const folders[] = {
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE",              // the product folder itself
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\Sub",  // one level too deep
      "C:\\Downloads\\MARLOWEN\\VELDRAKE\\Title",       // not under the Windows directory
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title.",         // Windows would drop the dot
      "C:\\WINDOWS\\MARLOWEN\\OTHER\\Title", "C:\\WINDOWS\\system32", "D:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title",
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\..\\..\\..", "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\..",
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\NUL", "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\CONOUT$",
      "\\\\server\\share\\MARLOWEN\\VELDRAKE\\Title", "MARLOWEN\\VELDRAKE\\Title", ""};
  for (const char* folder : folders) {
    uninstaller::UninstallPlace place;
    EXPECT_FALSE(uninstaller::MakeUninstallPlace("C:\\WINDOWS", folder, &place)) << folder;
  }
}

TEST(UninstallPlace, ResolvedComponentsMayReachTheTitleDirectory) {
  uninstaller::UninstallPlace place;
  ASSERT_TRUE(uninstaller::MakeUninstallPlace("C:\\WINDOWS\\", "C:/Windows/Temp/../MARLOWEN//VELDRAKE/./Title\\", &place));
  EXPECT_STREQ(place.TitleDirectory, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title");
}

TEST(JudgeLoggedPath, OnlyThisScreenSaverAndItsOwnFolderAreDeleted) {
  using namespace std::string_literals;
  // The longest path the installer can write in the title directory (259).
  const std::string directory = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\";
  const std::string longest = directory + std::string(259 - directory.size(), 'a');
  const std::string t = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title";
  const struct {
    Verdict verdict;
    std::vector<std::string> lines;
  } cases[] = {
      // What the installer writes, and other spellings of the same files.
      {Verdict::kDelete,
       {"C:\\WINDOWS\\Title.scr", t + "\\Title.DAT", t + "\\UNINSTAL.EXE", t + "\\JUKE0023.MID",
        "c:\\windows\\title.SCR", "C:/WINDOWS/MARLOWEN/VELDRAKE/Title/JUKE0023.MID",
        "C:\\WINDOWS\\\\MARLOWEN\\.\\VELDRAKE\\Title\\x.dat", "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Other\\..\\Title\\x.dat",
        t + "\\..\\..\\..\\Title.scr", longest}},
      // Elsewhere: paths that this uninstaller does not own (the title
      // folder itself, another screen saver).
      {Verdict::kLeftAlone,
       {"C:\\WINDOWS\\system32\\x.scr", "C:\\WINDOWS\\logon.scr", "C:\\WINDOWS\\Title.exe", "C:\\WINDOWS\\win.ini",
        "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Other\\a.dat", t + "\\..\\..\\x", t + "\\sub\\a.dat", t + "\\..\\Title.scr", t,
        "C:\\Title.scr", "D:\\WINDOWS\\Title.scr", "D:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\a.dat", t + "2\\a.dat",
        "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Titl\\a.dat"}},
      // Not paths that can be judged: never deleted. The last is longer
      // than the installer can write; the NUL one would be ours if read as
      // a C string.
      {Verdict::kMalformed,
       {"Title.scr", "MARLOWEN\\VELDRAKE\\Title\\a.dat", "\\WINDOWS\\Title.scr", "C:Title.scr",
        "\\\\server\\share\\WINDOWS\\Title.scr", "\\\\?\\C:\\WINDOWS\\Title.scr", "\\\\.\\C:\\WINDOWS\\Title.scr",
        "C:\\..\\WINDOWS\\Title.scr", "C:\\WINDOWS\\Title.scr.", "C:\\WINDOWS\\Title.scr ",
        "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title.\\a.dat", t + "\\a.dat\\", t + "\\a.dat:stream", t + "\\*",
        t + "\\NUL", t + "\\com1.mid", t + "\\COM\xB9.mid", t + "\\conin$", t + "\\a\tb", "C:\\", "C:\\WINDOWS\\..",
        "", "1:\\WINDOWS\\Title.scr", "C:\\WINDOWS\\Title.scr\0\\..\\x"s, longest + "a"}},
  };
  const uninstaller::UninstallPlace place = Place();
  for (const auto& c : cases) {
    for (const std::string& line : c.lines) {
      uninstaller::ResolvedPath resolved;
      EXPECT_EQ(uninstaller::JudgeLoggedPath(place, line, &resolved), c.verdict) << line;
    }
  }
}

TEST(JudgeLoggedPath, ResolvedFormIsWhatGetsDeleted) {
  uninstaller::ResolvedPath resolved;
  ASSERT_EQ(uninstaller::JudgeLoggedPath(Place(), "c:/windows/MARLOWEN/x/../VELDRAKE/Title/JUKE0023.MID", &resolved),
            Verdict::kDelete);
  EXPECT_STREQ(resolved.Text, "C:\\windows\\MARLOWEN\\VELDRAKE\\Title\\JUKE0023.MID");
}

TEST(PlanRemoval, TwoInstallationsDeleteEachFileOnceAndReportStrangersOnce) {
  const std::string log =
      "C:\\WINDOWS\\Title.scr\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\Title.DAT\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\UNINSTAL.EXE\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\JUKE0023.MID\r\n"
      "C:\\WINDOWS\\system32\\kernel32.dll\r\n"
      "\r\n"
      "C:\\WINDOWS\\TITLE.SCR\r\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\Title.DAT\r"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\UNINSTAL.EXE\n"
      "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\JUKE0023.MID\r\n"
      "C:\\WINDOWS\\system32\\kernel32.dll\r\n"
      "..\\x\x01y";
  const Plan plan = PlanOf(Place(), log);
  EXPECT_EQ(plan.Deletions, (std::vector<std::string>{
                                "C:\\WINDOWS\\Title.scr",
                                "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\Title.DAT",
                                "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\UNINSTAL.EXE",
                                "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\JUKE0023.MID",
                            }));
  EXPECT_EQ(plan.LeftAlone, (std::vector<std::string>{"C:\\WINDOWS\\system32\\kernel32.dll", "..\\x?y"}));
}

// The log as the installer writes it, from the installer's own naming
// rules: every installed path, in table order, each ended by CR LF.
TEST(PlanRemoval, EveryPathTheInstallerNamesIsRemoved) {
  for (const char* windows : {"C:\\WINDOWS", "D:\\"}) {
    char winDir[kPathBufferSize];
    ASSERT_TRUE(BuildWinDir(winDir, sizeof winDir, windows));
    const char title[] = "My Saver 2.0";
    std::string log;
    std::vector<std::string> installed;
    for (std::uint32_t position = 0; position < 6; ++position) {
      PayloadEntry entry{};
      std::memcpy(entry.Name, ".MID           ", kEntryNameSize);
      entry.Kind = position == 4 ? kKindJukUnderscore : position == 5 ? std::uint8_t{' '} : kKindJuke;
      char path[kPathBufferSize];
      ASSERT_TRUE(BuildInstalledPath(path, sizeof path, winDir, title, position, entry, 9999));
      installed.push_back(path);
      log += std::string(path) + "\r\n";
    }
    uninstaller::UninstallPlace place;
    ASSERT_TRUE(uninstaller::MakeUninstallPlace(windows, (std::string(winDir) + "MARLOWEN\\VELDRAKE\\" + title).c_str(),
                                                &place));
    const Plan plan = PlanOf(place, log + log);  // installed twice
    EXPECT_EQ(plan.Deletions, installed);
    EXPECT_TRUE(plan.LeftAlone.empty());
  }
}

// Beyond its byte limit the log is not read; past the plan's tables it is
// planned up to the line that did not fit, and the plan says it is full.
TEST(PlanRemoval, BeyondItsLimitsTheLogIsNotPlanned) {
  std::string bytes(uninstaller::kMaxInstallLogBytes, '\n');
  bytes += "C:\\WINDOWS\\Title.scr\r\n";
  std::string files, strangers;
  for (std::size_t i = 0; i <= uninstaller::kMaxPlannedFiles; ++i)
    files += "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Title\\" + std::to_string(i) + ".dat\r\n";
  for (std::size_t i = 0; i <= uninstaller::kMaxLeftAloneLines; ++i)
    strangers += "C:\\Other\\" + std::to_string(i) + "\r\n";
  const struct {
    const char* name;
    std::string log;
    std::size_t deletions, leftAlone;
    bool full;
  } cases[] = {
      {"past the byte limit", bytes, 0, 0, false},
      {"one file too many", files + "C:\\WINDOWS\\Title.scr\r\n", uninstaller::kMaxPlannedFiles, 0, true},
      {"a file again needs no more room",
       files.substr(0, files.rfind("C:")) + "c:\\windows\\marlowen\\veldrake\\title\\0.DAT\r\n",
       uninstaller::kMaxPlannedFiles, 0, false},
      {"one stranger too many", strangers + "C:\\WINDOWS\\Title.scr\r\n", 0, uninstaller::kMaxLeftAloneLines, true},
  };
  for (const auto& c : cases) {
    const Plan plan = PlanOf(Place(), c.log);
    EXPECT_EQ(plan.Deletions.size(), c.deletions) << c.name;
    EXPECT_EQ(plan.LeftAlone.size(), c.leftAlone) << c.name;
    EXPECT_EQ(plan.Full, c.full) << c.name;
  }
}

TEST(SettingNamesScreenSaver, MatchesByShortOrLongFormOnly) {
  const char* saver = "C:\\WINDOWS\\Saverkit Aurora.scr";
  const char* shortSaver = "C:\\WINDOWS\\SAVERK~1.SCR";
  EXPECT_TRUE(uninstaller::SettingNamesScreenSaver("C:\\WINDOWS\\SAVERK~1.SCR", "", saver, shortSaver));
  EXPECT_TRUE(uninstaller::SettingNamesScreenSaver("c:\\windows\\saverk~1.scr", "", saver, shortSaver));
  EXPECT_TRUE(uninstaller::SettingNamesScreenSaver("C:\\WINDOWS\\SAVERK~2.SCR", saver, saver, shortSaver));
  EXPECT_TRUE(uninstaller::SettingNamesScreenSaver("C:\\WINDOWS\\saverkit aurora.scr", "", saver, ""));
  EXPECT_FALSE(uninstaller::SettingNamesScreenSaver("C:\\WINDOWS\\SAVERK~2.SCR", "", saver, shortSaver));
  EXPECT_FALSE(uninstaller::SettingNamesScreenSaver("C:\\WINDOWS\\logon.scr", "C:\\WINDOWS\\logon.scr", saver, shortSaver));
  EXPECT_FALSE(uninstaller::SettingNamesScreenSaver("", "", saver, ""));
  EXPECT_FALSE(uninstaller::SettingNamesScreenSaver("SAVERK~1.SCR", "", saver, shortSaver));
}

// Own paths with random components replaced, inserted or dropped (near
// misses): every planned deletion is still one of the installation's files.
TEST(PlanRemoval, MutatedLogsOnlyEverDeleteOwnFiles) {
  const uninstaller::UninstallPlace place = Place();
  const std::vector<std::vector<std::string>> own = {
      {"C:", "WINDOWS", "Title.scr"},
      {"C:", "WINDOWS", "MARLOWEN", "VELDRAKE", "Title", "a.dat"},
  };
  const char* const pieces[] = {"..", ".", "", "WINDOWS", "MARLOWEN", "VELDRAKE", "Title", "Other", "Title.scr",
                                "x.scr", "a.dat", "NUL", "Title.", "D:", "C:", "\\srv", "a b"};
  const char* const separators[] = {"\\", "/"};
  std::uint32_t state = 777;
  auto next = [&state](std::uint32_t n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  int deletions = 0, refusals = 0;
  for (int round = 0; round < 5000; ++round) {
    std::vector<std::string> parts = own[next(2)];
    for (std::uint32_t m = next(4); m > 0; --m) {
      const std::size_t at = next(static_cast<std::uint32_t>(parts.size()));
      const std::string piece = pieces[next(sizeof pieces / sizeof pieces[0])];
      switch (next(3)) {
        case 0: parts[at] = piece; break;
        case 1: parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(at), piece); break;
        default: if (parts.size() > 1) parts.erase(parts.begin() + static_cast<std::ptrdiff_t>(at));
      }
    }
    std::string line = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) line += separators[next(2)] + parts[i];
    const Plan plan = PlanOf(place, line + "\r\n");
    refusals += plan.Deletions.empty();
    for (const std::string& path : plan.Deletions) {
      ++deletions;
      const std::string directory = path.substr(0, path.rfind('\\'));
      const bool saver = uninstaller::SamePath(path, place.ScreenSaverPath);
      const bool inTitleDirectory = uninstaller::SamePath(directory + "\\x", std::string(place.TitleDirectory) + "\\x");
      EXPECT_TRUE(saver || inTitleDirectory) << line << " -> " << path;
    }
  }
  // The mutations reach both sides of the rule.
  EXPECT_GT(deletions, 500);
  EXPECT_GT(refusals, 500);
}

}  // namespace
