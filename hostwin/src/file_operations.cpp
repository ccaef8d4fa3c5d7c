// kernel32's file operations beyond reading and writing: copies, moves and
// the moves and deletions left for the next start of Windows, temporary
// files, long names, removing directories, attributes and the current
// directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "machine.h"
#include "open_files.h"
#include "core/text/windows_case.h"

namespace hostwin {

void AppendSystemRegistryMultiString(const std::string& path, const std::string& name,
                                     const std::vector<std::string>& strings);

namespace {

// Where Windows keeps the moves and deletions left for its next start: a
// REG_MULTI_SZ of pairs, the file ("\??\" and its path) and its new name
// (the same form) or an empty string for a deletion.
const char kSessionManagerKey[] = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager";
const char kPendingOperations[] = "PendingFileRenameOperations";

DWORD Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// The entry of a machine path, or an error set for a path that no call
// may use.
bool UsablePath(LPCSTR path, MachineEntry* entry) {
  if (!path || !IsMachinePath(path)) {
    SetLastError(path ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
    return false;
  }
  if (PathTooLong(path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (HasInvalidNameCharacter(path)) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  *entry = ResolvePath(path);
  if (!entry->Usable()) {
    SetLastError(ErrorFromErrno(entry->error, *entry));
    return false;
  }
  return true;
}

bool IsDirectory(const MachineEntry& entry) {
  struct stat status;
  return StatEntry(entry, &status) && S_ISDIR(status.st_mode);
}

}  // namespace

std::string TempDirectoryOf(const MachineSettings& settings, const std::string& account) {
  if (SameText(account, kSystemAccount)) return JoinWindowsPath(settings.windowsDirectory, "Temp") + "\\";
  return "C:\\Users\\" + account + "\\AppData\\Local\\Temp\\";
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
  const std::string temp = TempDirectoryOf(Machine().settings, Machine().account);
  if (!buffer || size <= temp.size()) return static_cast<DWORD>(temp.size() + 1);
  std::memcpy(buffer, temp.c_str(), temp.size() + 1);
  return static_cast<DWORD>(temp.size());
}

UINT WINAPI GetTempFileNameA(LPCSTR directory, LPCSTR prefix, UINT unique, LPSTR name) {
  if (!directory || !prefix || !name || unique != 0) return Fail(ERROR_INVALID_PARAMETER);
  MachineEntry folder;
  if (!UsablePath(directory, &folder)) return 0;
  if (!IsDirectory(folder)) return Fail(ERROR_DIRECTORY);
  std::string base = directory;
  if (base.empty() || base.back() != '\\') base += '\\';
  base.append(prefix, strnlen(prefix, 3));
  // Windows counts from a value of its clock; the stand-in from 1, so that
  // runs repeat.
  for (UINT number = 1; number <= 0xFFFF; ++number) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    const std::string path = base + hex + ".tmp";
    if (path.size() >= MAX_PATH) return Fail(ERROR_BUFFER_OVERFLOW);
    MachineEntry entry;
    if (!UsablePath(path.c_str(), &entry)) return 0;
    const int fd = OpenEntry(entry, O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return Fail(ErrorFromErrno(errno, entry));
    close(fd);
    Emit("file create " + path);
    std::memcpy(name, path.c_str(), path.size() + 1);
    return number;
  }
  return Fail(ERROR_FILE_EXISTS);
}

BOOL WINAPI CopyFileA(LPCSTR existing, LPCSTR newFile, BOOL failIfExists) {
  MachineEntry from, to;
  if (!UsablePath(existing, &from) || !UsablePath(newFile, &to)) return FALSE;
  std::string bytes;
  if (IsDirectory(from) || !ReadEntry(from, &bytes)) return Fail(ERROR_FILE_NOT_FOUND);
  struct stat status;
  if (StatEntry(to, &status) && (failIfExists || S_ISDIR(status.st_mode)))
    return Fail(failIfExists ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
  if (bytes.size() > WritableBytesLeft()) return Fail(ERROR_DISK_FULL);
  if (!WriteEntry(to, bytes)) return Fail(ERROR_ACCESS_DENIED);
  CountWritten(bytes.size());
  Emit(std::string("file copy ") + existing + " -> " + newFile);
  return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR newFile, DWORD flags) {
  MachineEntry from, to;
  if (!UsablePath(existing, &from) || (newFile && !UsablePath(newFile, &to))) return FALSE;
  struct stat status;
  if (!StatEntry(from, &status)) return Fail(ErrorFromErrno(errno, from));
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Left for the next start of Windows, which the stand-in never makes:
    // the file stays, and the registry says what becomes of it.
    AppendSystemRegistryMultiString(kSessionManagerKey, kPendingOperations,
                                    {std::string("\\??\\") + existing, newFile ? std::string("\\??\\") + newFile : ""});
    Emit(std::string(newFile ? "file move at restart " : "file delete at restart ") + existing +
         (newFile ? std::string(" -> ") + newFile : ""));
    return TRUE;
  }
  if (!newFile) return Fail(ERROR_INVALID_PARAMETER);
  struct stat target;
  if (StatEntry(to, &target) && (!(flags & MOVEFILE_REPLACE_EXISTING) || S_ISDIR(target.st_mode)))
    return Fail(S_ISDIR(target.st_mode) ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS);
  // One drive, one host file system: a rename, which a running program's
  // file allows.
  if (renameat(from.folder.Get(), from.name.c_str(), to.folder.Get(), to.name.c_str()) != 0)
    return Fail(ErrorFromErrno(errno, from));
  Emit(std::string("file move ") + existing + " -> " + newFile);
  return TRUE;
}

DWORD WINAPI GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD size) {
  if (!shortPath) return Fail(ERROR_INVALID_PARAMETER);
  MachineEntry whole;
  if (!UsablePath(shortPath, &whole)) return 0;
  struct stat status;
  if (!StatEntry(whole, &status)) return Fail(ErrorFromErrno(errno, whole));
  // Each name as it exists on disk, the separators and a trailing
  // backslash as given.
  std::string result(shortPath, 2), prefix(shortPath, 2);
  const char* at = shortPath + 2;
  while (*at) {
    if (*at == '\\') {
      result += '\\';
      prefix += '\\';
      ++at;
      continue;
    }
    const char* end = std::strchr(at, '\\');
    const std::string name(at, end ? static_cast<std::size_t>(end - at) : std::strlen(at));
    prefix += name;
    const MachineEntry entry = ResolvePath(prefix.c_str());
    result += name == "." || name == ".." ? name : entry.name;
    at += name.size();
  }
  if (!longPath || size <= result.size()) return static_cast<DWORD>(result.size() + 1);
  std::memcpy(longPath, result.c_str(), result.size() + 1);
  return static_cast<DWORD>(result.size());
}

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
  MachineEntry entry;
  if (!UsablePath(path, &entry)) return FALSE;
  if (unlinkat(entry.folder.Get(), entry.name.c_str(), AT_REMOVEDIR) != 0) {
    const int error = errno;
    return Fail(error == ENOTEMPTY || error == EEXIST ? ERROR_DIR_NOT_EMPTY
                : error == ENOTDIR                    ? ERROR_DIRECTORY
                                                      : ErrorFromErrno(error, entry));
  }
  Emit(std::string("directory delete ") + path);
  return TRUE;
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD /*attributes*/) {
  // Attributes are not kept: a file is there or not.
  MachineEntry entry;
  struct stat status;
  if (!UsablePath(path, &entry)) return FALSE;
  if (!StatEntry(entry, &status)) return Fail(ErrorFromErrno(errno, entry));
  return TRUE;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
  MachineEntry entry;
  if (!UsablePath(path, &entry)) return FALSE;
  if (!IsDirectory(entry)) return Fail(ERROR_DIRECTORY);
  Machine().currentDirectory = path;
  return TRUE;
}

int WINAPI lstrcmpiA(LPCSTR first, LPCSTR second) {
  // Byte by byte through the fold by which Windows compares names (the
  // real call sorts by the user's locale; equality is what programs ask).
  const unsigned char* a = reinterpret_cast<const unsigned char*>(first ? first : "");
  const unsigned char* b = reinterpret_cast<const unsigned char*>(second ? second : "");
  for (;; ++a, ++b) {
    const int difference = text::FoldWindowsByte(*a) - text::FoldWindowsByte(*b);
    if (difference != 0 || *a == 0) return difference < 0 ? -1 : difference > 0 ? 1 : 0;
  }
}

}  // extern "C"
