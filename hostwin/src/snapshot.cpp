// Snapshots of a machine folder and what changed between two of them.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "hostwin/machine.h"
#include "hostwin/transcript.h"
#include "ini_text.h"
#include "machine.h"
#include "registry_file.h"

namespace hostwin {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  return text.str();
}

// FNV-1a of a file's contents, read in blocks so that memory stays flat
// whatever size an installation gave the file.
std::uint64_t HashOfFile(const std::string& path) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::ifstream in(path, std::ios::binary);
  char block[1 << 16];
  while (in) {
    in.read(block, sizeof block);
    const std::streamsize got = in.gcount();
    for (std::streamsize i = 0; i < got; ++i) {
      hash ^= static_cast<unsigned char>(block[i]);
      hash *= 0x100000001b3ull;
    }
  }
  return hash;
}

void Walk(const std::string& host, const std::string& windows, std::vector<MachineSnapshot::File>* files) {
  DIR* dir = opendir(host.c_str());
  if (!dir) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    const std::string h = host + "/" + n;
    const std::string w = windows + "\\" + n;
    struct stat st;
    if (lstat(h.c_str(), &st) != 0) continue;
    MachineSnapshot::File f;
    f.path = w;
    if (S_ISDIR(st.st_mode)) {
      f.directory = true;
      files->push_back(f);
      Walk(h, w, files);
    } else {
      f.size = static_cast<std::uint64_t>(st.st_size);
      // Only regular files are read: a FIFO would block the snapshot.
      if (S_ISREG(st.st_mode)) f.hash = HashOfFile(h);
      files->push_back(f);
    }
  }
}

}  // namespace

MachineSnapshot TakeSnapshot(const std::string& folder) {
  MachineSnapshot snapshot;
  Walk(folder + "/drive_c", "C:", &snapshot.files);
  for (const auto& [upper, key] : ParseRegistryText(ReadAll(folder + "/registry.reg"))) {
    snapshot.registry.push_back({key.path, "(key)"});
    for (const RegistryValue& v : key.values)
      snapshot.registry.push_back({key.path + " " + (v.name.empty() ? "@" : "\"" + v.name + "\""),
                                   DescribeRegistryData(v.type, v.data)});
  }
  MachineSettings settings;
  if (LoadMachineSettings(folder, &settings, nullptr)) {
    const std::string path = JoinWindowsPath(settings.windowsDirectory, "system.ini");
    IniText ini = IniText::Parse(ReadAll(MapPath(folder, path.c_str())));
    for (const auto& [section, kv] : ini.Entries())
      snapshot.systemIni.push_back({"[" + section + "] " + kv.first, kv.second});
  }
  return snapshot;
}

std::vector<MachineChange> CompareSnapshots(const MachineSnapshot& before, const MachineSnapshot& after) {
  std::vector<MachineChange> changes;
  using Kind = MachineChange::Kind;
  using Area = MachineChange::Area;
  std::map<std::string, const MachineSnapshot::File*> old;
  for (const auto& f : before.files) old[f.path] = &f;
  for (const auto& f : after.files) {
    auto it = old.find(f.path);
    const Area area = f.directory ? Area::Directory : Area::File;
    const std::string size = f.directory ? "" : std::to_string(f.size) + " bytes";
    if (it == old.end()) {
      changes.push_back({Kind::Added, area, f.path, size});
    } else {
      if (it->second->directory != f.directory || it->second->size != f.size || it->second->hash != f.hash)
        changes.push_back({Kind::Changed, area, f.path, size});
      old.erase(it);
    }
  }
  for (const auto& [path, f] : old)
    changes.push_back({Kind::Removed, f->directory ? Area::Directory : Area::File, path, ""});
  // Files before directories, each in path order.
  std::sort(changes.begin(), changes.end(), [](const MachineChange& a, const MachineChange& b) {
    return a.area != b.area ? a.area < b.area : a.what < b.what;
  });

  auto compareList = [&](const std::vector<std::pair<std::string, std::string>>& a,
                         const std::vector<std::pair<std::string, std::string>>& b, Area area) {
    std::map<std::string, std::string> was;
    for (const auto& [k, v] : a) was[UpperCase(k)] = v;
    std::map<std::string, bool> seen;
    for (const auto& [k, v] : b) {
      auto it = was.find(UpperCase(k));
      seen[UpperCase(k)] = true;
      if (it == was.end()) changes.push_back({Kind::Added, area, k, v});
      else if (it->second != v) changes.push_back({Kind::Changed, area, k, v});
    }
    for (const auto& [k, v] : a)
      if (!seen.count(UpperCase(k))) changes.push_back({Kind::Removed, area, k, v});
  };
  compareList(before.registry, after.registry, Area::Registry);
  compareList(before.systemIni, after.systemIni, Area::SystemIni);
  return changes;
}

std::vector<std::string> FormatChanges(const std::vector<MachineChange>& changes) {
  std::vector<std::string> lines;
  // Names and values come from what the program wrote: escaped as in the
  // transcript, so that every line is printable ASCII.
  auto add = [&lines](const std::string& line) { lines.push_back(TranscriptText(line)); };
  for (const MachineChange& c : changes) {
    const char* kind = c.kind == MachineChange::Kind::Added ? "added" : c.kind == MachineChange::Kind::Changed ? "changed" : "removed";
    switch (c.area) {
      case MachineChange::Area::File:
        add(std::string("file ") + kind + " " + c.what + (c.detail.empty() ? "" : " " + c.detail));
        break;
      case MachineChange::Area::Directory: add(std::string("directory ") + kind + " " + c.what); break;
      case MachineChange::Area::Registry:
        if (c.detail == "(key)") add(std::string("registry key ") + kind + " " + c.what);
        else add(std::string("registry ") + kind + " " + c.what + " = " + c.detail);
        break;
      case MachineChange::Area::SystemIni:
        add(std::string("system.ini ") + kind + " " + c.what +
                        (c.kind == MachineChange::Kind::Removed ? "" : " = " + c.detail));
        break;
    }
  }
  return lines;
}

}  // namespace hostwin
