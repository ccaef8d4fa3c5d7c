// Writing a file under an exclusive temporary name and renaming it into place.
#include "tool/commands/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "tool/packer/interruption.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace commands {

namespace {

#ifdef _WIN32
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY;
int OpenExclusive(const std::string& path) { return _open(path.c_str(), kCreateFlags, _S_IREAD | _S_IWRITE); }
int WriteSome(int fd, const void* data, std::size_t size) {
  const unsigned chunk = size > 0x40000000u ? 0x40000000u : static_cast<unsigned>(size);
  return _write(fd, data, chunk);
}
int CloseFile(int fd) { return _close(fd); }
#else
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
int OpenExclusive(const std::string& path) { return open(path.c_str(), kCreateFlags, 0666); }
ssize_t WriteSome(int fd, const void* data, std::size_t size) { return write(fd, data, size); }
int CloseFile(int fd) { return close(fd); }
#endif

// Renames `from` to `to`; without `replace` it fails when `to` exists, in
// one step, so that nothing that appeared meanwhile is replaced.
bool RenameInto(const std::string& from, const std::string& to, bool replace, std::string* why) {
#ifdef _WIN32
  // std::filesystem::rename replaces an existing file; the C runtime's
  // rename never does, in one step.
  std::error_code error;
  if (replace) {
    fs::rename(from, to, error);
    if (!error) return true;
  } else if (std::rename(from.c_str(), to.c_str()) == 0) {
    return true;
  }
  const std::string cause = error ? error.message() : std::strerror(errno);
  std::error_code ignored;
  *why = !replace && fs::exists(fs::symlink_status(to, ignored))
             ? "already exists (use --force to replace it)"
             : "cannot rename the written file into place: " + cause;
  return false;
#else
  if (replace) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  } else if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  } else if (errno == EINVAL || errno == ENOSYS) {
    // A file system without RENAME_NOREPLACE: a hard link makes the
    // destination without replacing anything; without hard links either
    // (FAT, some network shares) the destination is checked once more just
    // before a plain rename.
    struct stat existing;
    if (link(from.c_str(), to.c_str()) == 0) {
      unlink(from.c_str());
      return true;
    }
    if (errno != EEXIST) {
      if (lstat(to.c_str(), &existing) == 0) {
        errno = EEXIST;
      } else if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
      }
    }
  }
  *why = errno == EEXIST ? "already exists (use --force to replace it)"
                         : std::string("cannot rename the written file into place: ") +
                               std::strerror(errno);
  return false;
#endif
}

std::string RandomHex() {
  std::random_device random;
  const std::uint64_t value = (std::uint64_t{random()} << 32) ^ random();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// --force replaces a regular file, or a link as a link (rename never follows
// it); a device, a pipe or a socket at the destination is left alone.
bool ReplaceableOrAbsent(const fs::file_status& status) {
  return !fs::exists(status) || fs::is_regular_file(status) || fs::is_symlink(status);
}
constexpr char kNotRegular[] = "is not a regular file (a device, a pipe or a socket); it is not replaced";

}  // namespace

int CreateExclusiveFile(const std::string& path) { return OpenExclusive(path); }

OutputFile::OutputFile(const std::string& destination, bool replace)
    : destination_(destination), replace_(replace) {
  const fs::path target(destination);
  std::error_code error;
  // One lstat in the common case (nothing there yet); a link is followed
  // only to tell whether it leads to a directory.
  const fs::file_status status = fs::symlink_status(target, error);
  if (fs::is_directory(status) || (fs::is_symlink(status) && fs::is_directory(fs::status(target, error))))
    throw OutputFileError("is a directory");
  if (fs::exists(status) && !replace) throw OutputFileError("already exists (use --force to replace it)");
  if (!ReplaceableOrAbsent(status)) throw OutputFileError(kNotRegular);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  // Beside the destination, so that the rename stays on one file system.
  for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
    temporary_ = (folder / ("." + target.filename().string() + "." + RandomHex() + ".part")).string();
    fd_ = CreateExclusiveFile(temporary_);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int cause = errno;
    temporary_.clear();
    if (cause == ENOENT || cause == ENOTDIR) throw OutputFileError("its folder does not exist");
    throw OutputFileError(std::string("cannot create a file in its folder: ") + std::strerror(cause));
  }
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) CloseFile(fd_);
  if (!committed_ && !temporary_.empty()) std::remove(temporary_.c_str());
}

bool OutputFile::Write(const void* data, std::size_t size) {
  // In pieces of 16 MiB, so that SIGINT or SIGTERM (under an
  // InterruptionGuard) stops a large write soon.
  constexpr std::size_t kPiece = 16 * 1024 * 1024;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    packer::ThrowIfInterrupted();
    const auto written = WriteSome(fd_, bytes, size < kPiece ? size : kPiece);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

void OutputFile::Finish() {
  if (fd_ < 0) return;
  const int result = CloseFile(fd_);
  fd_ = -1;
  if (result != 0) throw OutputFileError(std::string("cannot finish writing the file: ") + std::strerror(errno));
}

void OutputFile::Commit() {
  Finish();
  // The last moment an interruption keeps the destination as it was.
  packer::ThrowIfInterrupted();
  if (replace_) {
    // Again just before the rename: something else may stand there by now.
    std::error_code error;
    if (!ReplaceableOrAbsent(fs::symlink_status(destination_, error))) throw OutputFileError(kNotRegular);
  }
  std::string why;
  if (!RenameInto(temporary_, destination_, replace_, &why)) throw OutputFileError(why);
  committed_ = true;
}

void WriteCheckedFile(const std::string& destination, const std::vector<std::uint8_t>& bytes,
                      bool replace, const std::function<void(const std::string& temporaryPath)>& check) {
  OutputFile file(destination, replace);
  if (!file.Write(bytes.data(), bytes.size()))
    throw OutputFileError(std::string("cannot write the file: ") + std::strerror(errno));
  file.Finish();
  check(file.TemporaryPath());
  file.Commit();
}

}  // namespace commands
