// kernel32's file functions over the machine's drive C: folder: the _lopen
// family, CreateFileA and its companions, directories, the C runtime's
// fopen and _stat, and the module's own file name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "machine.h"
#include "open_files.h"

namespace hostwin {

namespace {

struct WrittenFile {
  std::string path;
  bool fullReported = false;
};

std::map<int, WrittenFile>& WrittenFiles() {
  static std::map<int, WrittenFile> files;
  return files;
}

}  // namespace

void TrackWrittenFile(int fd, const std::string& path) { WrittenFiles()[fd] = WrittenFile{path, false}; }

std::size_t LimitedWrite(int fd, const void* data, std::size_t size, bool* full) {
  std::uint64_t left = WritableBytesLeft();
  std::size_t allowed = left < size ? static_cast<std::size_t>(left) : size;
  std::size_t done = 0;
  while (done < allowed) {
    ssize_t n = write(fd, static_cast<const char*>(data) + done, allowed - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  CountWritten(done);
  *full = done < size;
  if (*full) {
    auto it = WrittenFiles().find(fd);
    if (it != WrittenFiles().end() && !it->second.fullReported) {
      it->second.fullReported = true;
      Emit("disk full " + it->second.path);
    }
  }
  return done;
}

int CloseTracked(int fd) {
  auto it = WrittenFiles().find(fd);
  if (it != WrittenFiles().end()) {
    struct stat st;
    long long size = fstat(fd, &st) == 0 ? static_cast<long long>(st.st_size) : 0;
    Emit("file close " + it->second.path + " " + std::to_string(size) + " bytes");
    WrittenFiles().erase(it);
  }
  return close(fd);
}

DWORD ErrorFromErrno(int error, const MachineEntry& entry) {
  switch (error) {
    // An entry that is not usable stopped short of its last name.
    case ENOENT: return entry.Usable() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case ELOOP: return ERROR_ACCESS_DENIED;  // a link inside the machine folder (see MachineEntry)
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE: return 4;  // ERROR_TOO_MANY_OPEN_FILES
    default: return ERROR_ACCESS_DENIED;
  }
}

bool PathTooLong(const char* path, std::size_t limit) {
  return IsMachinePath(path) && std::strlen(path) >= limit;
}

namespace {

// Opens a Windows path; sets the last error and returns -1 on failure. A
// file opened with write access is tracked and reported as created (when it
// did not exist or was truncated) or opened.
int OpenFile(const char* path, int flags, bool* existed = nullptr) {
  if (!path || PathTooLong(path)) {
    SetLastError(path ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (HasInvalidNameCharacter(path)) {
    SetLastError(ERROR_INVALID_NAME);
    return -1;
  }
  const MachineEntry entry = ResolvePath(path);
  struct stat st;
  bool was = StatEntry(entry, &st);
  if (was && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  if (existed) *existed = was;
  int fd = OpenEntry(entry, flags);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno, entry));
    return -1;
  }
  if ((flags & O_ACCMODE) != O_RDONLY) {
    Emit(std::string(!was || (flags & O_TRUNC) ? "file create " : "file open ") + path);
    TrackWrittenFile(fd, path);
  }
  return fd;
}

// HANDLEs of CreateFileA: small numbers that are neither NULL nor
// INVALID_HANDLE_VALUE, each standing for a host descriptor.
constexpr std::uintptr_t kFileHandleBase = 0x1000;

HANDLE HandleOfFd(int fd) { return reinterpret_cast<HANDLE>(kFileHandleBase + static_cast<std::uintptr_t>(fd)); }

int FdOfHandle(HANDLE handle) {
  auto value = reinterpret_cast<std::uintptr_t>(handle);
  if (value < kFileHandleBase || value > kFileHandleBase + 0xFFFF) return -1;
  return static_cast<int>(value - kFileHandleBase);
}

UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
  // Windows' convention: the length without the terminator when it fits,
  // otherwise the size needed including the terminator, buffer untouched.
  if (!buffer || size <= text.size()) return static_cast<UINT>(text.size() + 1);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<UINT>(text.size());
}

}  // namespace

}  // namespace hostwin

using namespace hostwin;

extern "C" {

DWORD WINAPI GetLastError(void) { return Machine().lastError; }
void WINAPI SetLastError(DWORD error) { Machine().lastError = error; }

HFILE WINAPI _lopen(LPCSTR path, int mode) {
  int access = mode & 3;
  int flags = access == OF_WRITE ? O_WRONLY : access == OF_READWRITE ? O_RDWR : O_RDONLY;
  int fd = OpenFile(path, flags);
  return fd < 0 ? HFILE_ERROR : fd;
}

HFILE WINAPI _lcreat(LPCSTR path, int /*attributes*/) {
  int fd = OpenFile(path, O_RDWR | O_CREAT | O_TRUNC);
  return fd < 0 ? HFILE_ERROR : fd;
}

UINT WINAPI _lread(HFILE file, LPVOID buffer, UINT bytes) {
  UINT done = 0;
  while (done < bytes) {
    ssize_t n = read(file, static_cast<char*>(buffer) + done, bytes - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return done == 0 ? static_cast<UINT>(HFILE_ERROR) : done;
    }
    if (n == 0) break;
    done += static_cast<UINT>(n);
  }
  return done;
}

UINT WINAPI _lwrite(HFILE file, LPCCH buffer, UINT bytes) {
  // A write that does not fit stores what fits and fails, as WriteFile does
  // on a full disk.
  bool full = false;
  std::size_t done = LimitedWrite(file, buffer, bytes, &full);
  if (full) {
    SetLastError(ERROR_DISK_FULL);
    return static_cast<UINT>(HFILE_ERROR);
  }
  return static_cast<UINT>(done);
}

LONG WINAPI _llseek(HFILE file, LONG offset, int origin) {
  int whence = origin == FILE_CURRENT ? SEEK_CUR : origin == FILE_END ? SEEK_END : SEEK_SET;
  // Windows offsets here are 32-bit; a position past 2 GiB is an error there too.
  off_t at = lseek(file, static_cast<off_t>(offset), whence);
  if (at < 0 || at > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return HFILE_ERROR;
  }
  return static_cast<LONG>(at);
}

HFILE WINAPI _lclose(HFILE file) { return CloseTracked(file) == 0 ? 0 : HFILE_ERROR; }

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD /*share*/, LPSECURITY_ATTRIBUTES /*security*/,
                          DWORD disposition, DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  int flags = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  struct stat st;
  const bool exists = path && !PathTooLong(path) && StatEntry(ResolvePath(path), &st);
  switch (disposition) {
    case CREATE_NEW:
      if (exists) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
      }
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  if ((flags & (O_CREAT | O_TRUNC)) && (flags & O_ACCMODE) == O_RDONLY) flags = (flags & ~O_ACCMODE) | O_RDWR;
  int fd = OpenFile(path, flags);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  // OPEN_ALWAYS and CREATE_ALWAYS tell that the file was there already.
  SetLastError(exists && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) ? ERROR_ALREADY_EXISTS : 0);
  return HandleOfFd(fd);
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  int fd = FdOfHandle(file);
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  std::int64_t offset = distanceHigh ? (static_cast<std::int64_t>(*distanceHigh) << 32) |
                                           static_cast<std::uint32_t>(distance)
                                     : static_cast<std::int64_t>(distance);
  int whence = method == FILE_CURRENT ? SEEK_CUR : method == FILE_END ? SEEK_END : SEEK_SET;
  off_t at = lseek(fd, static_cast<off_t>(offset), whence);
  if (at < 0 || (!distanceHigh && at > 0xFFFFFFFEll)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(at) >> 32);
  SetLastError(0);
  return static_cast<DWORD>(static_cast<std::uint64_t>(at) & 0xFFFFFFFFu);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes, LPDWORD written, LPOVERLAPPED /*overlapped*/) {
  int fd = FdOfHandle(file);
  if (written) *written = 0;
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool full = false;
  std::size_t done = LimitedWrite(fd, buffer, bytes, &full);
  if (written) *written = static_cast<DWORD>(done);
  if (full) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD readCount, LPOVERLAPPED /*overlapped*/) {
  int fd = FdOfHandle(file);
  if (readCount) *readCount = 0;
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  UINT got = _lread(fd, buffer, bytes);
  if (got == static_cast<UINT>(HFILE_ERROR)) return FALSE;
  if (readCount) *readCount = got;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE object) {
  if (CloseAccountHandle(object)) return TRUE;
  int fd = FdOfHandle(object);
  if (fd < 0 || CloseTracked(fd) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES /*security*/) {
  // Windows keeps room for an 8.3 name below a new directory: at most 247
  // characters.
  if (!path || PathTooLong(path, MAX_PATH - 12)) {
    SetLastError(path ? ERROR_FILENAME_EXCED_RANGE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (HasInvalidNameCharacter(path)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  const MachineEntry entry = ResolvePath(path);
  if (!entry.Usable() || mkdirat(entry.folder.Get(), entry.name.c_str(), 0755) != 0) {
    SetLastError(ErrorFromErrno(entry.Usable() ? errno : entry.error, entry));
    return FALSE;
  }
  Emit(std::string("directory create ") + path);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
  const MachineEntry entry = ResolvePath(path);
  // A running program's file stays (it can be renamed: MoveFileExA).
  if (entry.Usable() && IsRunningImage(entry)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!entry.Usable() || unlinkat(entry.folder.Get(), entry.name.c_str(), 0) != 0) {
    SetLastError(ErrorFromErrno(entry.Usable() ? errno : entry.error, entry));
    return FALSE;
  }
  Emit(std::string("file delete ") + path);
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
  struct stat st;
  const MachineEntry entry = ResolvePath(path);
  if (PathTooLong(path)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!StatEntry(entry, &st)) {
    SetLastError(ErrorFromErrno(errno, entry));
    return INVALID_FILE_ATTRIBUTES;
  }
  return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) { return CopyOut(WindowsDirectory(), buffer, size); }

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size) { return CopyOut(SystemDirectory(), buffer, size); }

DWORD WINAPI GetModuleFileNameA(HMODULE /*module*/, LPSTR name, DWORD size) {
  // Windows copies what fits, always terminated, and reports a cut name by
  // returning `size` with ERROR_INSUFFICIENT_BUFFER.
  const std::string& path = Machine().modulePath;
  if (size == 0) return 0;
  DWORD n = static_cast<DWORD>(path.size()) < size ? static_cast<DWORD>(path.size()) : size - 1;
  std::memcpy(name, path.data(), n);
  name[n] = '\0';
  if (n < path.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return n;
}

}  // extern "C"

// ------------------------------------------------------------- C runtime
namespace hostwin {

namespace {

struct StreamCookie {
  int fd;
  bool text;  // "w" without "b": LF written as CR LF, as the Windows runtime does
};

ssize_t CookieRead(void* cookie, char* buffer, size_t size) {
  ssize_t n;
  do n = read(static_cast<StreamCookie*>(cookie)->fd, buffer, size);
  while (n < 0 && errno == EINTR);
  return n;
}

ssize_t CookieWrite(void* cookie, const char* buffer, size_t size) {
  auto* c = static_cast<StreamCookie*>(cookie);
  bool full = false;
  if (!c->text) {
    std::size_t done = LimitedWrite(c->fd, buffer, size, &full);
    return done == 0 && full ? -1 : static_cast<ssize_t>(done);
  }
  std::size_t consumed = 0;
  for (; consumed < size; ++consumed) {
    const char* piece = buffer[consumed] == '\n' ? "\r\n" : buffer + consumed;
    std::size_t length = buffer[consumed] == '\n' ? 2 : 1;
    if (LimitedWrite(c->fd, piece, length, &full) < length) break;
  }
  return consumed == 0 && size > 0 ? -1 : static_cast<ssize_t>(consumed);
}

int CookieSeek(void* cookie, off64_t* position, int whence) {
  off_t at = lseek(static_cast<StreamCookie*>(cookie)->fd, static_cast<off_t>(*position), whence);
  if (at < 0) return -1;
  *position = at;
  return 0;
}

int CookieClose(void* cookie) {
  auto* c = static_cast<StreamCookie*>(cookie);
  int result = CloseTracked(c->fd);
  delete c;
  return result;
}

}  // namespace

}  // namespace hostwin

#undef fopen
extern "C" FILE* HostwinFopen(const char* path, const char* mode) {
  if (!path || !mode) return nullptr;
  const bool writing = std::strpbrk(mode, "wa+") != nullptr;
  if (!writing) {
    if (PathTooLong(path) || HasInvalidNameCharacter(path)) return nullptr;
    const int fd = OpenEntry(ResolvePath(path), O_RDONLY);
    FILE* stream = fd < 0 ? nullptr : fdopen(fd, mode);
    if (!stream && fd >= 0) close(fd);
    return stream;
  }
  int flags = mode[0] == 'w' ? O_CREAT | O_TRUNC : mode[0] == 'a' ? O_CREAT | O_APPEND : 0;
  flags |= std::strchr(mode, '+') ? O_RDWR : O_WRONLY;
  int fd = OpenFile(path, flags);
  if (fd < 0) {
    errno = ENOENT;
    return nullptr;
  }
  auto* cookie = new StreamCookie{fd, std::strchr(mode, 'b') == nullptr};
  cookie_io_functions_t functions{CookieRead, CookieWrite, CookieSeek, CookieClose};
  FILE* stream = fopencookie(cookie, mode, functions);
  if (!stream) {
    CloseTracked(fd);
    delete cookie;
  }
  return stream;
}

extern "C" int _stat(const char* path, struct _stat* status) {
  struct stat host;
  if (!path || PathTooLong(path) || HasInvalidNameCharacter(path) || !StatEntry(ResolvePath(path), &host)) {
    errno = ENOENT;
    return -1;
  }
  status->st_mode = S_ISDIR(host.st_mode) ? _S_IFDIR : _S_IFREG;
  status->st_size = static_cast<long>(host.st_size);
  return 0;
}
