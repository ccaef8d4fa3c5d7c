// What an installation did to the machine, gathered from a run in the
// stand-in: files and folders (with each file's SHA-256), registry values
// with their data, profile (ini) lines, the screen-saver setting, the
// programs started and the messages shown. saverkit preview --effects
// prints it (JSON, a REGEDIT4 file or text), and saverkit verify judges it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace preview {

enum class EffectChange { kAdded, kChanged, kRemoved };
const char* ChangeWord(EffectChange change);  // "added", "changed", "removed"

struct FileEffect {
  EffectChange change = EffectChange::kAdded;
  std::string path;        // Windows path, the bytes as the program named it
  bool directory = false;
  std::uint64_t size = 0;  // after the run; 0 for a folder or a removed file
  // 64 upper-case hexadecimal digits of the contents after the run; empty
  // for a folder, a removed file and anything that is no regular file.
  std::string sha256;
};

struct RegistryEffect {
  EffectChange change = EffectChange::kAdded;
  std::string key;         // "HKEY_LOCAL_MACHINE\Software\...", case as created
  bool isKey = false;      // the key itself was added or removed
  std::string name;        // the value's name; "" the default value
  std::uint32_t type = 0;  // after the run (REG_SZ...); 0 when removed
  std::vector<unsigned char> data;  // as stored, a REG_SZ with its NUL
};

struct IniEffect {
  EffectChange change = EffectChange::kAdded;
  std::string file;  // Windows path of the profile ("C:\WINDOWS\system.ini")
  std::string section;
  std::string key;
  std::string value;  // after the run; "" when removed
};

// One part of the screen-saver setting: system.ini's [boot] SCRNSAVE.EXE
// (account empty), or an account's Control Panel\Desktop value
// SCRNSAVE.EXE or ScreenSaveActive.
struct ScreenSaverEffect {
  std::string account;  // "" for system.ini, else the account's hive name
  std::string setting;  // "SCRNSAVE.EXE" or "ScreenSaveActive"
  std::string value;    // after the run
  bool removed = false;
};

// Texts from the transcript keep its escapes (\r, \n, \xNN), so that they
// are printable ASCII whatever the image holds.
struct StartedProgram {
  std::string call;    // "WinExec" or "ShellExecuteA"
  std::string detail;  // the rest of the transcript line: command, show mode, result
};

struct MessageShown {
  std::string caption;
  std::string text;
  std::string style;   // "MB_OK|MB_ICONEXCLAMATION"
  std::string answer;  // the answer given and the box's result, "ok = IDOK"
};

struct InstallationEffects {
  std::vector<FileEffect> files;  // files first, then folders, each in path order
  std::vector<RegistryEffect> registry;
  std::vector<IniEffect> ini;
  std::vector<ScreenSaverEffect> screenSaver;
  std::vector<StartedProgram> started;
  std::vector<MessageShown> messages;
  int exitCode = -1;  // the installer's; -1 when it was killed
};

// The effects of a run are gathered by CollectEffects (collect_effects.h).

// The three forms of saverkit preview --effects (effects_formats.cpp).
std::string EffectsJson(const InstallationEffects& effects);
// A REGEDIT4 file of the registry effects, CR LF line ends, as regedit
// imports it: added and changed values set, removed ones deleted ("=-"),
// removed keys as [-KEY].
std::string EffectsRegedit4(const InstallationEffects& effects);
std::string EffectsText(const InstallationEffects& effects);

}  // namespace preview
