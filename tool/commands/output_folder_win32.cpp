// The output folder on Windows, the nearest equivalent of a directory
// descriptor: a handle on the folder, held without FILE_SHARE_DELETE for as
// long as the folder is open, so that the folder cannot be renamed, moved or
// deleted (nor, since a folder with an open handle inside cannot be moved,
// any folder above it) while files are written. Every file is then named by
// the folder's final path, which GetFinalPathNameByHandle gives with every
// junction and link on the way already resolved; the C runtime's exclusive
// create does not follow a reparse point at the name. The only file of the
// tool's commands that includes a Win32 header.
#include "tool/commands/output_folder.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace commands {

namespace {

int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME: return ENOENT;
    case ERROR_DIRECTORY: return ENOTDIR;
    default: return EACCES;
  }
}

}  // namespace

OutputFolder::OutputFolder(const std::string& path) : path_(path) {
  HANDLE folder = CreateFileA(path.empty() ? "." : path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    openError_ = ErrnoFor(GetLastError());
    return;
  }
  BY_HANDLE_FILE_INFORMATION information;
  char final[MAX_PATH * 4];
  const DWORD length = GetFinalPathNameByHandleA(folder, final, sizeof final, FILE_NAME_NORMALIZED);
  if (!GetFileInformationByHandle(folder, &information) ||
      !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    openError_ = ENOTDIR;
  } else if (length == 0 || length >= sizeof final) {
    openError_ = ErrnoFor(GetLastError());
  } else {
    handle_ = folder;
    resolved_.assign(final, length);
    return;
  }
  CloseHandle(folder);
}

OutputFolder::~OutputFolder() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool OutputFolder::IsOpen() const { return handle_ != nullptr; }

// Operations go through the folder's final path; the path as given is kept
// for messages.
std::string OutputFolder::PathOf(const std::string& name) const {
  return (fs::path(resolved_) / name).string();
}

OutputFolder::Kind OutputFolder::KindOf(const std::string& name) const {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(PathOf(name), error);
  if (!fs::exists(status)) return Kind::kAbsent;
  if (fs::is_regular_file(status)) return Kind::kRegular;
  if (fs::is_directory(status)) return Kind::kDirectory;
  if (!fs::is_symlink(status)) return Kind::kOther;
  return fs::is_directory(fs::status(PathOf(name), error)) ? Kind::kLinkToDirectory : Kind::kLink;
}

int OutputFolder::CreateExclusive(const std::string& name) const {
  return _open(PathOf(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

bool OutputFolder::Rename(const std::string& from, const std::string& to, bool replace, std::string* why) const {
  // std::filesystem::rename replaces an existing file; the C runtime's
  // rename never does, in one step.
  const std::string source = PathOf(from);
  const std::string target = PathOf(to);
  std::error_code error;
  if (replace) {
    fs::rename(source, target, error);
    if (!error) return true;
  } else if (std::rename(source.c_str(), target.c_str()) == 0) {
    return true;
  }
  const std::string cause = error ? error.message() : std::strerror(errno);
  *why = !replace && KindOf(to) != Kind::kAbsent ? kAlreadyExists
                                                 : "cannot rename the written file into place: " + cause;
  return false;
}

void OutputFolder::Remove(const std::string& name) const { std::remove(PathOf(name).c_str()); }

std::uint64_t OutputFolder::AvailableBytes() const {
  std::error_code error;
  const fs::space_info space = fs::space(path_.empty() ? fs::path(".") : fs::path(path_), error);
  if (error || space.available == static_cast<std::uintmax_t>(-1)) return std::numeric_limits<std::uint64_t>::max();
  return space.available;
}

long WriteSomeBytes(int fd, const void* data, std::size_t size) {
  const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  return _write(fd, data, chunk);
}
int CloseOutputDescriptor(int fd) { return _close(fd); }

}  // namespace commands
