// The places an installer of this kind writes to, from the same naming
// rules its extraction builds paths and keys with.
#include "tool/verify/placement_rule.h"

#include "core/format/install_names.h"
#include "core/text/windows_case.h"
#include "installer/installer_texts.h"

namespace verify {

namespace {

using preview::EffectChange;
using text::SameWindowsName;

// Paths of every length a machine can hold (the rules' own buffers keep
// 259 characters; a path past that is one the installer never writes).
constexpr std::size_t kLongPath = 4096;

struct Places {
  std::string winDir;       // with its backslash
  std::string titleFolder;  // WinDir\MARLOWEN\VELDRAKE\<title>
  std::string screenSaver;  // WinDir\<title>.scr
  std::string uninstallKey; // HKEY_LOCAL_MACHINE\Software\...\Uninstall\<title>
};

Places PlacesOf(const InstallerPlaces& given) {
  Places places;
  char winDir[kLongPath];
  char folder[kLongPath];
  char key[kLongPath];
  if (format::BuildWinDir(winDir, sizeof winDir, given.windowsDirectory.c_str())) places.winDir = winDir;
  if (format::BuildTitleDirectory(folder, sizeof folder, winDir, given.title.c_str())) places.titleFolder = folder;
  places.screenSaver = places.winDir + given.title + ".scr";
  if (format::BuildUninstallKeyName(key, sizeof key, given.title.c_str()))
    places.uninstallKey = std::string("HKEY_LOCAL_MACHINE\\") + key;
  return places;
}

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

// True when `ancestor` is `path` or a folder or key above it.
bool IsAtOrAbove(const std::string& ancestor, const std::string& path) {
  if (SameWindowsName(ancestor, path)) return true;
  return ancestor.size() < path.size() && path[ancestor.size()] == '\\' &&
         SameWindowsName(ancestor, path.substr(0, ancestor.size()));
}

// HKEY_USERS\<account>\Control Panel\Desktop, or a key on the way to one.
bool IsDesktopKeyOrAbove(const std::string& key, bool onTheWay) {
  const std::string users = "HKEY_USERS\\";
  if (key.size() <= users.size() || !SameWindowsName(key.substr(0, users.size()), users)) return false;
  const std::string rest = key.substr(users.size());
  const std::size_t slash = rest.find('\\');
  const std::string account = rest.substr(0, slash);
  if (account.empty()) return false;
  const std::string desktop = users + account + "\\Control Panel\\Desktop";
  return onTheWay ? IsAtOrAbove(key, desktop) : SameWindowsName(key, desktop);
}

std::string Described(const char* what, EffectChange change, const std::string& name) {
  return std::string(what) + " " + preview::ChangeWord(change) + " " + name;
}

// The command of a WinExec line's detail: "\"COMMAND\" SW_NAME = N".
std::string WinExecCommand(const std::string& detail) {
  const std::size_t end = detail.rfind("\" ");
  return detail.size() > 1 && detail[0] == '"' && end != std::string::npos && end > 0 ? detail.substr(1, end - 1)
                                                                                     : "";
}

}  // namespace

std::vector<std::string> MisplacedEffects(const preview::InstallationEffects& effects,
                                          const InstallerPlaces& given) {
  const Places places = PlacesOf(given);
  std::vector<std::string> misplaced;
  const std::string outside = ": outside the places an installer of this kind writes to";
  const std::string removes = ": an installer of this kind removes nothing";

  for (const preview::FileEffect& file : effects.files) {
    const char* what = file.directory ? "folder" : "file";
    if (file.change == EffectChange::kRemoved) {
      misplaced.push_back(Described(what, file.change, file.path) + removes);
      continue;
    }
    const bool allowed =
        file.directory
            ? file.change == EffectChange::kAdded && !places.titleFolder.empty() &&
                  (SameWindowsName(file.path, places.winDir + "MARLOWEN") ||
                   SameWindowsName(file.path, places.winDir + "MARLOWEN\\VELDRAKE") ||
                   SameWindowsName(file.path, places.titleFolder))
            : SameWindowsName(file.path, places.screenSaver) ||
                  SameWindowsName(file.path, places.winDir + "system.ini") ||
                  (!places.titleFolder.empty() && SameWindowsName(ParentOf(file.path), places.titleFolder));
    if (!allowed) misplaced.push_back(Described(what, file.change, file.path) + outside);
  }

  for (const preview::RegistryEffect& value : effects.registry) {
    const std::string name =
        value.key + (value.isKey ? "" : value.name.empty() ? " @" : " \"" + value.name + "\"");
    if (value.change == EffectChange::kRemoved) {
      misplaced.push_back(Described("registry", value.change, name) + removes);
      continue;
    }
    const bool allowed =
        value.isKey ? (!places.uninstallKey.empty() && IsAtOrAbove(value.key, places.uninstallKey)) ||
                          IsDesktopKeyOrAbove(value.key, true)
                    : (!places.uninstallKey.empty() && SameWindowsName(value.key, places.uninstallKey)) ||
                          (IsDesktopKeyOrAbove(value.key, false) &&
                           (SameWindowsName(value.name, "SCRNSAVE.EXE") ||
                            SameWindowsName(value.name, "ScreenSaveActive")));
    if (!allowed) misplaced.push_back(Described("registry", value.change, name) + outside);
  }

  std::string screenSaverSetting;
  for (const preview::IniEffect& line : effects.ini) {
    const std::string name = line.file + " [" + line.section + "] " + line.key;
    const bool allowed = line.change != EffectChange::kRemoved &&
                         SameWindowsName(line.file, places.winDir + "system.ini") &&
                         SameWindowsName(line.section, "boot") && SameWindowsName(line.key, "SCRNSAVE.EXE");
    if (allowed) screenSaverSetting = line.value;
    else misplaced.push_back(Described("profile line", line.change, name) + (line.change == EffectChange::kRemoved ? removes : outside));
  }

  for (const preview::StartedProgram& program : effects.started) {
    bool allowed = false;
    if (program.call == "WinExec") {
      const std::string command = WinExecCommand(program.detail);
      allowed = SameWindowsName(command, places.screenSaver) ||
                (!screenSaverSetting.empty() && SameWindowsName(command, screenSaverSetting));
    } else if (program.call == "ShellExecuteA") {
      // Itself, elevated; or the media player's download page, offered
      // when a media type cannot play.
      for (const std::string& start : {"\"runas\" \"" + given.imagePath + "\"",
                                       "\"open\" \"" + std::string(installer::kMediaPlayerPage) + "\""})
        allowed = allowed || (program.detail.size() >= start.size() &&
                              SameWindowsName(program.detail.substr(0, start.size()), start));
    }
    if (!allowed) misplaced.push_back("program started: " + program.call + " " + program.detail +
                                      ": neither the screen saver it installed, nor itself, nor the media player's page");
  }
  return misplaced;
}

}  // namespace verify
