// Gathering an installation's effects: the runner's list of changes, with
// the data it only describes read back from the machine, and the program
// starts and message boxes taken from the transcript.
#include "tool/preview/collect_effects.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "core/text/windows_case.h"
#include "hostwin/machine.h"
#include "tool/commands/sha256.h"

namespace preview {

namespace {

using hostwin::MachineChange;

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Windows compares names without regard to case.
bool SameName(const std::string& left, const std::string& right) { return text::SameWindowsName(left, right); }

EffectChange ChangeOf(MachineChange::Kind kind) {
  return kind == MachineChange::Kind::kAdded     ? EffectChange::kAdded
         : kind == MachineChange::Kind::kChanged ? EffectChange::kChanged
                                                 : EffectChange::kRemoved;
}

// SHA-256 and size of a machine file, read in blocks; the last name is
// never followed (the snapshot behind the changes reaches no file through
// a link either) and only a regular file is read.
bool DigestOfMachineFile(const std::string& machine, const std::string& windowsPath, std::uint64_t* size,
                         std::string* digest) {
  const std::string host = hostwin::HostPathInMachine(machine, windowsPath);
  const int fd = open(host.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat status;
  bool sound = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  commands::Sha256 sha;
  std::uint64_t total = 0;
  static std::uint8_t block[1 << 16];
  while (sound) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      sound = got == 0;
      break;
    }
    sha.Update(block, static_cast<std::size_t>(got));
    total += static_cast<std::uint64_t>(got);
  }
  close(fd);
  if (!sound) return false;
  *size = total;
  *digest = sha.FinishHex();
  return true;
}

// A registry change's key and value name from its label (KEY, KEY @ or
// KEY "NAME"), for a value that is gone from the machine.
void SplitRegistryLabel(const std::string& label, bool isKey, RegistryEffect* effect) {
  effect->isKey = isKey;
  if (isKey) {
    effect->key = label;
  } else if (label.size() >= 2 && label.compare(label.size() - 2, 2, " @") == 0) {
    effect->key = label.substr(0, label.size() - 2);
  } else {
    const std::size_t quote = label.find(" \"");
    effect->key = label.substr(0, quote);
    if (quote != std::string::npos && label.size() >= quote + 3)
      effect->name = label.substr(quote + 2, label.size() - quote - 3);
  }
}

// The text of a REG_SZ value, up to its first NUL.
std::string TextOf(const std::vector<unsigned char>& data) {
  std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

// `message box "CAPTION" "TEXT" STYLE[ owner] -> ANSWER = RESULT`: read from
// the end, since the quoted texts may hold anything; the caption ends at the
// first `" "` (a caption with that inside is split there).
MessageShown MessageOf(const std::string& line) {
  MessageShown message;
  const std::size_t arrow = line.rfind(" -> ");
  std::string head = line.substr(0, arrow);
  message.answer = arrow == std::string::npos ? "" : line.substr(arrow + 4);
  const std::string owner = " owner";
  if (head.size() >= owner.size() && head.compare(head.size() - owner.size(), owner.size(), owner) == 0)
    head.resize(head.size() - owner.size());
  const std::size_t blank = head.rfind(' ');
  message.style = head.substr(blank + 1);
  const std::string prefix = "message box \"";
  const std::string texts = blank > prefix.size() ? head.substr(prefix.size(), blank - prefix.size()) : "";
  const std::size_t split = texts.find("\" \"");
  if (split != std::string::npos) {
    message.caption = texts.substr(0, split);
    message.text = texts.substr(split + 3, texts.size() >= split + 4 ? texts.size() - split - 4 : 0);
  }
  return message;
}

void AddScreenSaverSettings(const std::string& windowsDirectory, InstallationEffects* effects) {
  for (const IniEffect& ini : effects->ini)
    if (SameName(ini.file, windowsDirectory + "\\system.ini") && SameName(ini.section, "boot") &&
        SameName(ini.key, "SCRNSAVE.EXE"))
      effects->screenSaver.push_back({"", "SCRNSAVE.EXE", ini.value, ini.change == EffectChange::kRemoved});
  const std::string users = "HKEY_USERS\\";
  const std::string desktop = "\\Control Panel\\Desktop";
  for (const RegistryEffect& value : effects->registry) {
    if (value.isKey || value.key.size() <= users.size() + desktop.size() ||
        !SameName(value.key.substr(0, users.size()), users) ||
        !SameName(value.key.substr(value.key.size() - desktop.size()), desktop))
      continue;
    const std::string account = value.key.substr(users.size(), value.key.size() - users.size() - desktop.size());
    if (account.find('\\') != std::string::npos) continue;
    for (const char* setting : {"SCRNSAVE.EXE", "ScreenSaveActive"})
      if (SameName(value.name, setting))
        effects->screenSaver.push_back(
            {account, setting, TextOf(value.data), value.change == EffectChange::kRemoved});
  }
}

}  // namespace

const char* ChangeWord(EffectChange change) {
  switch (change) {
    case EffectChange::kAdded: return "added";
    case EffectChange::kChanged: return "changed";
    case EffectChange::kRemoved: return "removed";
  }
  return "changed";
}

InstallationEffects CollectEffects(const std::string& machine, const hostwin::RunResult& result) {
  InstallationEffects effects;
  effects.exitCode = result.killed ? -1 : result.exitCode;
  hostwin::MachineSettings settings;
  hostwin::LoadMachineSettings(machine, &settings, nullptr);
  std::map<std::string, const hostwin::RegistryEntryState*> registryNow;
  const std::vector<hostwin::RegistryEntryState> registry = hostwin::ReadMachineRegistry(machine);
  for (const hostwin::RegistryEntryState& entry : registry) registryNow[entry.label] = &entry;

  for (const MachineChange& change : result.changes) {
    const EffectChange kind = ChangeOf(change.kind);
    switch (change.area) {
      case MachineChange::Area::kFile:
      case MachineChange::Area::kDirectory: {
        FileEffect file;
        file.change = kind;
        file.path = change.what;
        file.directory = change.area == MachineChange::Area::kDirectory;
        if (!file.directory && kind != EffectChange::kRemoved &&
            !DigestOfMachineFile(machine, file.path, &file.size, &file.sha256))
          file.sha256.clear();
        effects.files.push_back(file);
        break;
      }
      case MachineChange::Area::kRegistry: {
        RegistryEffect value;
        value.change = kind;
        const auto now = registryNow.find(change.what);
        if (kind != EffectChange::kRemoved && now != registryNow.end()) {
          value.key = now->second->key;
          value.isKey = now->second->isKey;
          value.name = now->second->name;
          value.type = now->second->type;
          value.data = now->second->data;
        } else {
          SplitRegistryLabel(change.what, change.detail == "(key)", &value);
        }
        effects.registry.push_back(value);
        break;
      }
      case MachineChange::Area::kSystemIni: {
        // "[section] key": the stand-in refuses ']' in a section name.
        IniEffect ini;
        ini.change = kind;
        ini.file = settings.windowsDirectory + "\\system.ini";
        const std::size_t close = change.what.find("] ");
        ini.section = change.what.substr(1, close == std::string::npos ? 0 : close - 1);
        ini.key = close == std::string::npos ? change.what : change.what.substr(close + 2);
        if (kind != EffectChange::kRemoved) ini.value = change.detail;
        effects.ini.push_back(ini);
        break;
      }
    }
  }
  AddScreenSaverSettings(settings.windowsDirectory, &effects);

  for (const std::string& line : result.transcript) {
    for (const char* call : {"WinExec", "ShellExecuteA"})
      if (StartsWith(line, std::string(call) + " ")) effects.started.push_back({call, line.substr(std::string(call).size() + 1)});
    if (StartsWith(line, "message box \"")) effects.messages.push_back(MessageOf(line));
  }
  return effects;
}

}  // namespace preview
