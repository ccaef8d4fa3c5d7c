// kernel32's _lopen family and GetModuleFileNameA over host files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "machine.h"
#include <windows.h>

using hostwin::HostPathOf;
using hostwin::Machine;

extern "C" {

HFILE WINAPI _lopen(LPCSTR path, int mode) {
  int flags = (mode & 3) == OF_WRITE ? O_WRONLY : (mode & 3) == OF_READWRITE ? O_RDWR : O_RDONLY;
  int fd = open(HostPathOf(path).c_str(), flags | O_CLOEXEC);
  return fd < 0 ? HFILE_ERROR : fd;
}

HFILE WINAPI _lcreat(LPCSTR path, int /*attributes*/) {
  int fd = open(HostPathOf(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd < 0 ? HFILE_ERROR : fd;
}

UINT WINAPI _lread(HFILE file, LPVOID buffer, UINT bytes) {
  UINT done = 0;
  while (done < bytes) {
    ssize_t n = read(file, static_cast<char*>(buffer) + done, bytes - done);
    if (n < 0) return done == 0 ? static_cast<UINT>(HFILE_ERROR) : done;
    if (n == 0) break;
    done += static_cast<UINT>(n);
  }
  return done;
}

UINT WINAPI _lwrite(HFILE file, LPCSTR buffer, UINT bytes) {
  UINT done = 0;
  while (done < bytes) {
    ssize_t n = write(file, buffer + done, bytes - done);
    if (n <= 0) return static_cast<UINT>(HFILE_ERROR);
    done += static_cast<UINT>(n);
  }
  return done;
}

LONG WINAPI _llseek(HFILE file, LONG offset, int origin) {
  int whence = origin == FILE_CURRENT ? SEEK_CUR : origin == FILE_END ? SEEK_END : SEEK_SET;
  // Windows offsets are 32-bit; a position past 2 GiB is an error there too.
  off_t at = lseek(file, static_cast<off_t>(offset), whence);
  return at < 0 || at > 0x7FFFFFFF ? HFILE_ERROR : static_cast<LONG>(at);
}

HFILE WINAPI _lclose(HFILE file) { return close(file) == 0 ? 0 : HFILE_ERROR; }

DWORD WINAPI GetModuleFileNameA(HMODULE /*module*/, LPSTR name, DWORD size) {
  // Windows copies what fits, always terminated, and reports a cut name by
  // returning `size`.
  const std::string& path = Machine().modulePath;
  if (size == 0) return 0;
  DWORD n = static_cast<DWORD>(path.size()) < size ? static_cast<DWORD>(path.size()) : size - 1;
  std::memcpy(name, path.data(), n);
  name[n] = '\0';
  return n < path.size() ? size : n;
}

}  // extern "C"

#undef fopen
extern "C" FILE* HostwinFopen(const char* path, const char* mode) {
  return std::fopen(HostPathOf(path).c_str(), mode);
}

extern "C" int _stat(const char* path, struct _stat* status) {
  struct stat host;
  if (stat(HostPathOf(path).c_str(), &host) != 0) return -1;
  status->st_mode = S_ISDIR(host.st_mode) ? _S_IFDIR : _S_IFREG;
  status->st_size = static_cast<long>(host.st_size);
  return 0;
}
