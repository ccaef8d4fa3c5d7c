// The output folder on Windows: the tool includes no Win32 header, so it
// keeps the folder's path and builds each file's path from it (the C
// runtime's exclusive create does not follow a link at the name).
#include "tool/commands/output_folder.h"

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

OutputFolder::OutputFolder(const std::string& path) : path_(path) {
  std::error_code error;
  if (!fs::is_directory(path.empty() ? fs::path(".") : fs::path(path), error))
    openError_ = error && error.value() != ENOENT ? error.value() : ENOENT;
}

OutputFolder::~OutputFolder() = default;

bool OutputFolder::IsOpen() const { return openError_ == 0; }

std::string OutputFolder::PathOf(const std::string& name) const {
  return path_.empty() ? name : (fs::path(path_) / name).string();
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
