// The output folder on POSIX systems: one directory descriptor, and every
// call relative to it (openat, fstatat, renameat2, linkat, unlinkat).
#include "tool/commands/output_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace commands {

OutputFolder::OutputFolder(const std::string& path) : path_(path) {
  // The folder itself is found by its path once, a link to it included (the
  // user named it); nothing below it is looked up by path again.
  fd_ = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) openError_ = errno;
}

OutputFolder::~OutputFolder() {
  if (fd_ >= 0) close(fd_);
}

bool OutputFolder::IsOpen() const { return fd_ >= 0; }

std::string OutputFolder::PathOf(const std::string& name) const {
  if (path_.empty()) return name;
  return path_.back() == '/' ? path_ + name : path_ + "/" + name;
}

OutputFolder::Kind OutputFolder::KindOf(const std::string& name) const {
  struct stat info;
  // A name that cannot be looked up (too long, no access) is taken as
  // absent: creating the temporary file then fails with the real reason.
  if (fstatat(fd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Kind::kAbsent;
  if (S_ISREG(info.st_mode)) return Kind::kRegular;
  if (S_ISDIR(info.st_mode)) return Kind::kDirectory;
  if (!S_ISLNK(info.st_mode)) return Kind::kOther;
  // A link is followed only to tell whether it leads to a directory.
  return fstatat(fd_, name.c_str(), &info, 0) == 0 && S_ISDIR(info.st_mode) ? Kind::kLinkToDirectory : Kind::kLink;
}

int OutputFolder::CreateExclusive(const std::string& name) const {
  return openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

bool OutputFolder::Rename(const std::string& from, const std::string& to, bool replace, std::string* why) const {
  if (replace) {
    if (renameat(fd_, from.c_str(), fd_, to.c_str()) == 0) return true;
  } else if (renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  } else if (errno == EINVAL || errno == ENOSYS) {
    // A file system without RENAME_NOREPLACE: a hard link makes the
    // destination without replacing anything; without hard links either
    // (FAT, some network shares) the destination is checked once more just
    // before a plain rename.
    if (linkat(fd_, from.c_str(), fd_, to.c_str(), 0) == 0) {
      unlinkat(fd_, from.c_str(), 0);
      return true;
    }
    if (errno != EEXIST) {
      struct stat existing;
      if (fstatat(fd_, to.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        errno = EEXIST;
      } else if (renameat(fd_, from.c_str(), fd_, to.c_str()) == 0) {
        return true;
      }
    }
  }
  *why = errno == EEXIST ? kAlreadyExists
                         : std::string("cannot rename the written file into place: ") + std::strerror(errno);
  return false;
}

void OutputFolder::Remove(const std::string& name) const { unlinkat(fd_, name.c_str(), 0); }

std::uint64_t OutputFolder::AvailableBytes() const {
  struct statvfs info;
  if (fstatvfs(fd_, &info) != 0) return std::numeric_limits<std::uint64_t>::max();
  return std::uint64_t{info.f_bavail} * info.f_frsize;
}

long WriteSomeBytes(int fd, const void* data, std::size_t size) { return write(fd, data, size); }
int CloseOutputDescriptor(int fd) { return close(fd); }

}  // namespace commands
