// Snapshots of a machine folder and what changed between two of them.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "hostwin/machine.h"
#include "hostwin/transcript.h"
#include "ini_text.h"
#include "machine.h"
#include "registry_file.h"

namespace hostwin {

namespace {

// A file of the machine, never read through a link; empty when it cannot be
// read.
std::string ReadAll(const MachineEntry& entry) {
  std::string text;
  if (!ReadEntry(entry, &text)) text.clear();
  return text;
}

// FNV-1a of a file's contents, read in blocks so that memory stays flat
// whatever size an installation gave the file.
std::uint64_t HashOfFile(int folder, const std::string& name) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  HostFd fd(openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  char block[1 << 16];
  ssize_t got;
  while (fd && (got = read(fd.Get(), block, sizeof block)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      hash ^= static_cast<unsigned char>(block[i]);
      hash *= 0x100000001b3ull;
    }
  }
  return hash;
}

// Every entry below the open `folder`, by descriptor: a link is listed as
// what it is (a file the size of the path it holds) and never followed, so
// a link to a big folder outside costs one entry, not a walk of that folder.
void Walk(int folder, const std::string& windows, std::vector<MachineSnapshot::File>* files) {
  DIR* dir = OpenListing(folder);
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    const std::string w = windows + "\\" + n;
    struct stat st;
    if (fstatat(folder, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    MachineSnapshot::File f;
    f.path = w;
    if (S_ISDIR(st.st_mode)) {
      f.directory = true;
      files->push_back(f);
      HostFd below(openat(folder, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (below) Walk(below.Get(), w, files);
    } else {
      f.size = static_cast<std::uint64_t>(st.st_size);
      // Only regular files are read: a FIFO would block the snapshot.
      if (S_ISREG(st.st_mode)) f.hash = HashOfFile(folder, n);
      files->push_back(f);
    }
  }
}

}  // namespace

bool ReadMachineRegistryString(const std::string& folder, const std::string& keyPath, const std::string& name,
                               std::string* text) {
  const RegistryTree tree = ParseRegistryText(ReadAll(MachineFolderFile(folder, "registry.reg")));
  const auto key = tree.find(UpperCase(keyPath));
  if (key == tree.end()) return false;
  for (const RegistryValue& value : key->second.values) {
    if (!SameText(value.name, name) || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) continue;
    text->assign(value.data.begin(), value.data.end());
    text->resize(text->find('\0') == std::string::npos ? text->size() : text->find('\0'));
    return true;
  }
  return false;
}

MachineSnapshot TakeSnapshot(const std::string& folder) {
  MachineSnapshot snapshot;
  const HostFd drive(OpenEntry(ResolveMachinePath(folder, "C:\\"), O_RDONLY | O_DIRECTORY));
  if (drive) Walk(drive.Get(), "C:", &snapshot.files);
  for (const RegistryEntryState& entry : ReadMachineRegistry(folder))
    snapshot.registry.push_back({entry.label, entry.isKey ? "(key)" : DescribeRegistryData(entry.type, entry.data)});
  MachineSettings settings;
  if (LoadMachineSettings(folder, &settings, nullptr)) {
    const std::string path = JoinWindowsPath(settings.windowsDirectory, "system.ini");
    IniText ini = IniText::Parse(ReadAll(ResolveMachinePath(folder, path.c_str())));
    for (const auto& [section, kv] : ini.Entries())
      snapshot.systemIni.push_back({"[" + section + "] " + kv.first, kv.second});
  }
  return snapshot;
}

std::vector<RegistryEntryState> ReadMachineRegistry(const std::string& folder) {
  std::vector<RegistryEntryState> entries;
  for (const auto& [upper, key] : ParseRegistryText(ReadAll(MachineFolderFile(folder, "registry.reg")))) {
    RegistryEntryState keyEntry;
    keyEntry.label = keyEntry.key = key.path;
    keyEntry.isKey = true;
    entries.push_back(keyEntry);
    for (const RegistryValue& v : key.values) {
      RegistryEntryState value;
      value.label = key.path + " " + (v.name.empty() ? "@" : "\"" + v.name + "\"");
      value.key = key.path;
      value.name = v.name;
      value.type = v.type;
      value.data = v.data;
      entries.push_back(std::move(value));
    }
  }
  return entries;
}

std::vector<MachineChange> CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after) {
  std::vector<MachineChange> changes;
  using Kind = MachineChange::Kind;
  using Area = MachineChange::Area;
  std::map<std::string, const MachineSnapshot::File*> old;
  for (const auto& file : before.files) old[file.path] = &file;
  for (const auto& file : after.files) {
    auto it = old.find(file.path);
    const Area area = file.directory ? Area::kDirectory : Area::kFile;
    const std::string size = file.directory ? "" : std::to_string(file.size) + " bytes";
    if (it == old.end()) {
      changes.push_back({Kind::kAdded, area, file.path, size});
    } else {
      if (it->second->directory != file.directory || it->second->size != file.size || it->second->hash != file.hash)
        changes.push_back({Kind::kChanged, area, file.path, size});
      old.erase(it);
    }
  }
  for (const auto& [path, file] : old)
    changes.push_back({Kind::kRemoved, file->directory ? Area::kDirectory : Area::kFile, path, ""});
  // Files before directories, each in path order.
  std::sort(changes.begin(), changes.end(), [](const MachineChange& left, const MachineChange& right) {
    return left.area != right.area ? left.area < right.area : left.what < right.what;
  });

  auto compareList = [&](const std::vector<std::pair<std::string, std::string>>& beforeList,
                         const std::vector<std::pair<std::string, std::string>>& afterList, Area area) {
    std::map<std::string, std::string> was;
    for (const auto& [key, value] : beforeList) was[UpperCase(key)] = value;
    std::map<std::string, bool> seen;
    for (const auto& [key, value] : afterList) {
      auto it = was.find(UpperCase(key));
      seen[UpperCase(key)] = true;
      if (it == was.end()) changes.push_back({Kind::kAdded, area, key, value});
      else if (it->second != value) changes.push_back({Kind::kChanged, area, key, value});
    }
    for (const auto& [key, value] : beforeList)
      if (!seen.count(UpperCase(key))) changes.push_back({Kind::kRemoved, area, key, value});
  };
  compareList(before.registry, after.registry, Area::kRegistry);
  compareList(before.systemIni, after.systemIni, Area::kSystemIni);
  return changes;
}

std::vector<std::string> FormatChanges(const std::vector<MachineChange>& changes) {
  std::vector<std::string> lines;
  // Names and values come from what the program wrote: escaped as in the
  // transcript, so that every line is printable ASCII.
  auto add = [&lines](const std::string& line) { lines.push_back(TranscriptText(line)); };
  for (const MachineChange& c : changes) {
    const char* kind = c.kind == MachineChange::Kind::kAdded     ? "added"
                       : c.kind == MachineChange::Kind::kChanged ? "changed"
                                                                 : "removed";
    switch (c.area) {
      case MachineChange::Area::kFile:
        add(std::string("file ") + kind + " " + c.what + (c.detail.empty() ? "" : " " + c.detail));
        break;
      case MachineChange::Area::kDirectory: add(std::string("directory ") + kind + " " + c.what); break;
      case MachineChange::Area::kRegistry:
        if (c.detail == "(key)") add(std::string("registry key ") + kind + " " + c.what);
        else add(std::string("registry ") + kind + " " + c.what + " = " + c.detail);
        break;
      case MachineChange::Area::kSystemIni:
        add(std::string("system.ini ") + kind + " " + c.what +
                        (c.kind == MachineChange::Kind::kRemoved ? "" : " = " + c.detail));
        break;
    }
  }
  return lines;
}

}  // namespace hostwin
