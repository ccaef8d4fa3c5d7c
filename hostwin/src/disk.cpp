// kernel32's questions about the disk: free space, as the machine's
// settings give it, and the 8.3 form of a path.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "machine.h"
#include "short_names.h"

namespace hostwin {

namespace {

// The old query reports clusters of 8 sectors of 512 bytes.
constexpr DWORD kSectorsPerCluster = 8;
constexpr DWORD kBytesPerSector = 512;
constexpr std::uint64_t kClusterBytes = kSectorsPerCluster * kBytesPerSector;

std::uint64_t TotalBytes() {
  const MachineSettings& s = Machine().settings;
  if (s.totalBytes) return s.totalBytes;
  return s.freeBytes > (64ull << 30) ? s.freeBytes : (64ull << 30);
}

// A directory of the machine given to a free-space query, or the current
// drive's root for NULL.
bool IsExistingDirectory(const char* path) {
  if (!path) return true;
  if (!IsMachinePath(path)) return false;
  struct stat st;
  return StatEntry(ResolvePath(path), &st) && S_ISDIR(st.st_mode);
}

DWORD Clamp32(std::uint64_t value) { return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(value); }

}  // namespace

}  // namespace hostwin

using namespace hostwin;

extern "C" {

BOOL WINAPI GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector, LPDWORD freeClusters,
                              LPDWORD totalClusters) {
  // The root must name a directory and end in a backslash ("C:\").
  if (root && (std::strlen(root) == 0 || root[std::strlen(root) - 1] != '\\')) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (!IsExistingDirectory(root)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (!Machine().settings.freeSpaceKnown) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if (sectorsPerCluster) *sectorsPerCluster = kSectorsPerCluster;
  if (bytesPerSector) *bytesPerSector = kBytesPerSector;
  if (freeClusters) *freeClusters = Clamp32(Machine().settings.freeBytes / kClusterBytes);
  if (totalClusters) *totalClusters = Clamp32(TotalBytes() / kClusterBytes);
  return TRUE;
}

BOOL WINAPI GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeBytesAvailableToCaller,
                                PULARGE_INTEGER totalBytes, PULARGE_INTEGER totalFreeBytes) {
  const MachineSettings& s = Machine().settings;
  if (s.freeSpaceExQuery == MachineSettings::FreeSpaceExQuery::kFails || !s.freeSpaceKnown) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if (!IsExistingDirectory(directory)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = s.freeBytes;
  if (totalBytes) totalBytes->QuadPart = TotalBytes();
  if (totalFreeBytes) totalFreeBytes->QuadPart = s.freeBytes;
  return TRUE;
}

DWORD WINAPI GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (!longPath || !IsMachinePath(longPath) || std::strlen(longPath) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Keep the drive as given ("C:" or "c:") and the separators, and write
  // each component as the short name of the entry that exists in its place.
  const std::string path = longPath;
  std::size_t at = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  std::string result = path.substr(0, at);
  std::string longSoFar = result;  // the same path with each entry's real name
  std::string component;
  auto resolve = [&](bool last) {
    const MachineEntry entry = ResolvePath((longSoFar + component).c_str());
    struct stat st;
    if (!StatEntry(entry, &st)) {
      SetLastError(errno == ELOOP ? ERROR_ACCESS_DENIED : last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return false;
    }
    result += ShortNameOf(entry.folder.Get(), entry.name);
    longSoFar += entry.name;
    component.clear();
    return true;
  };
  for (; at < path.size(); ++at) {
    if (path[at] == '\\' || path[at] == '/') {
      if (!component.empty() && !resolve(false)) return 0;
      result += '\\';
      longSoFar += '\\';
    } else {
      component += path[at];
    }
  }
  if (!component.empty() && !resolve(true)) return 0;
  if (!shortPath || size <= result.size()) return static_cast<DWORD>(result.size() + 1);
  std::memcpy(shortPath, result.c_str(), result.size() + 1);
  return static_cast<DWORD>(result.size());
}

}  // extern "C"
