// Path mapping between the simulated machine and the host.
#include "machine.h"

#include <dirent.h>
#include <strings.h>

#include <cctype>

namespace hostwin {

MachineState& Machine() {
  static MachineState state;
  return state;
}

namespace {

bool HasDriveLetter(const char* path) {
  return std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// The entry of `folder` whose name equals `name` without regard to case, or
// `name` itself when none exists yet (a file about to be created).
std::string MatchComponent(const std::string& folder, const std::string& name) {
  if (DIR* dir = opendir(folder.c_str())) {
    std::string found = name;
    while (dirent* entry = readdir(dir)) {
      if (strcasecmp(entry->d_name, name.c_str()) == 0) {
        found = entry->d_name;
        if (found == name) break;  // an exact match wins over a case variant
      }
    }
    closedir(dir);
    return found;
  }
  return name;
}

}  // namespace

std::string HostPathOf(const char* windowsPath) {
  if (!HasDriveLetter(windowsPath)) return windowsPath;
  std::string host = Machine().driveCFolder;
  std::string component;
  auto flush = [&] {
    if (component.empty() || component == ".") {
      component.clear();
      return;
    }
    host = host + "/" + MatchComponent(host, component);
    component.clear();
  };
  for (const char* p = windowsPath + 2; *p; ++p) {
    if (*p == '\\' || *p == '/') {
      flush();
    } else {
      component += *p;
    }
  }
  flush();
  return host;
}

}  // namespace hostwin
