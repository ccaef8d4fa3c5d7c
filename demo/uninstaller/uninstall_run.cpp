// The uninstaller's work in order, and its final report.
#include "demo/uninstaller/uninstall_run.h"

namespace uninstaller {
namespace {

void AppendList(std::string* text, const char* heading, const std::vector<std::string>& items) {
  if (items.empty()) return;
  *text += heading;
  for (std::size_t i = 0; i < items.size() && i < kMaxReportLines; ++i) *text += "\n    " + items[i];
  if (items.size() > kMaxReportLines)
    *text += "\n    ... and " + std::to_string(items.size() - kMaxReportLines) + " more";
  *text += "\n";
}

}  // namespace

UserSettingsOfOurs JudgeUserSettings(const UninstallPlace& place, UninstallSystem* system) {
  const std::string shortPath = system->ShortForm(place.ScreenSaverPath);
  auto isOurs = [&](const std::string& setting) {
    return !setting.empty() &&
           SettingNamesScreenSaver(setting, system->LongForm(setting), place.ScreenSaverPath, shortPath);
  };
  UserSettingsOfOurs ours;
  ours.SystemIni = isOurs(system->ScreenSaverSetting());
  ours.CurrentUser = isOurs(system->UserScreenSaverSetting());
  return ours;
}

void ClearUserSettings(const UserSettingsOfOurs& ours, UninstallSystem* system) {
  if (ours.SystemIni) system->ClearScreenSaverSetting();
  if (ours.CurrentUser) system->ClearUserScreenSaverSetting();
}

UninstallReport RemoveInstallation(const UninstallPlace& place, const std::string& runningCopy,
                                   UninstallSystem* system, bool clearsUserSettings) {
  UninstallReport report;
  std::string log;
  bool cut = false;
  if (!system->ReadText(place.InstallLogPath, kMaxInstallLogBytes, &log, &cut)) {
    report.NotRemoved.push_back(place.InstallLogPath + " could not be read, so the files it lists were not removed");
    report.LogUnusable = true;
    log.clear();
  } else if (cut) {
    report.NotRemoved.push_back(place.InstallLogPath + " is too long: only the files at its beginning were removed");
    report.LogUnusable = true;
  }
  const RemovalPlan plan = PlanRemoval(place, log);

  const UserSettingsOfOurs ours = clearsUserSettings ? JudgeUserSettings(place, system) : UserSettingsOfOurs();

  bool allDeleted = true;
  for (const std::string& path : plan.Deletions) {
    if (!runningCopy.empty() && SamePath(path, runningCopy)) {
      report.NotRemoved.push_back(path + " (in use by this uninstaller)");
      allDeleted = false;
    } else if (!system->RemoveFile(path)) {
      report.NotRemoved.push_back(path);
      allDeleted = false;
    }
  }
  report.LeftAlone = plan.LeftAlone;
  if (allDeleted && !system->RemoveFile(place.InstallLogPath)) report.NotRemoved.push_back(place.InstallLogPath);

  if (!system->RemoveUninstallKey(place.UninstallKeyName))
    report.NotRemoved.push_back("registry key HKEY_LOCAL_MACHINE\\" + place.UninstallKeyName);

  ClearUserSettings(ours, system);

  // The title directory must go; its parents go only when no other screen
  // saver of the maker lives there, which the removal itself checks.
  const std::vector<std::string> directories = DirectoriesToRemove(place);
  if (!system->RemoveFolder(directories[0])) {
    report.NotRemoved.push_back(directories[0]);
    return report;
  }
  for (std::size_t i = 1; i < directories.size(); ++i)
    if (!system->RemoveFolder(directories[i])) break;
  return report;
}

int ExitCodeOf(const UninstallReport& report) {
  if (report.LogUnusable) return format::kExitDamaged;
  if (!report.NotRemoved.empty() || !report.LeftAlone.empty()) return format::kExitFilesFailed;
  return format::kExitInstalled;
}

int RunFirstStage(bool silent, FirstStageSystem* system) {
  if (!silent && !system->ConfirmRemoval()) return format::kExitCancelled;
  int code = format::kExitInstalled;
  if (system->RunFinishingCopy(silent, &code)) return code;
  return system->RemoveHere(silent);
}

std::string FormatReport(const UninstallPlace& place, const UninstallReport& report, bool* warning) {
  *warning = !report.NotRemoved.empty() || !report.LeftAlone.empty();
  if (!*warning) return "The " + place.Title + " screen saver has been removed.";
  std::string text = "The " + place.Title + " screen saver has been removed, except for the following.\n";
  AppendList(&text, "\nCould not be removed:", report.NotRemoved);
  AppendList(&text, "\nListed in INSTALL.LOG but outside this screen saver's folders, so left alone:",
             report.LeftAlone);
  return text;
}

}  // namespace uninstaller
