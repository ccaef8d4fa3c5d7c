// Writing a file under an exclusive temporary name and renaming it into
// place, every step inside the one opened output folder.
#include "tool/commands/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "tool/packer/interruption.h"

namespace commands {

namespace {

using Kind = OutputFolder::Kind;

std::string RandomHex() {
  std::random_device random;
  const std::uint64_t value = (std::uint64_t{random()} << 32) ^ random();
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
  return text;
}

// --force replaces a regular file, or a link as a link (rename never follows
// it); a device, a pipe or a socket at the destination is left alone.
bool ReplaceableOrAbsent(Kind kind) { return kind == Kind::kAbsent || kind == Kind::kRegular || kind == Kind::kLink; }
constexpr char kNotRegular[] = "is not a regular file (a device, a pipe or a socket); it is not replaced";

std::unique_ptr<OutputFolder> OpenFolderOf(const std::filesystem::path& destination) {
  auto folder = std::make_unique<OutputFolder>(destination.parent_path().string());
  if (folder->IsOpen()) return folder;
  const int cause = folder->OpenError();
  if (cause == ENOENT || cause == ENOTDIR) throw OutputFileError("its folder does not exist");
  throw OutputFileError(std::string("cannot open its folder: ") + std::strerror(cause));
}

// "dir/" names the folder itself, which is a directory.
std::string NameOf(const std::filesystem::path& destination) {
  const std::string name = destination.filename().string();
  return name.empty() ? "." : name;
}

}  // namespace

OutputFile::OutputFile(const OutputFolder& folder, const std::string& name, bool replace)
    : folder_(&folder), name_(name), replace_(replace) {
  Open();
}

OutputFile::OutputFile(const std::string& destination, bool replace)
    : ownFolder_(OpenFolderOf(destination)),
      folder_(ownFolder_.get()),
      name_(NameOf(destination)),
      replace_(replace) {
  Open();
}

void OutputFile::Open() {
  const Kind kind = folder_->KindOf(name_);
  if (kind == Kind::kDirectory || kind == Kind::kLinkToDirectory) throw OutputFileError("is a directory");
  if (kind != Kind::kAbsent && !replace_) throw OutputFileError(kAlreadyExists);
  if (!ReplaceableOrAbsent(kind)) throw OutputFileError(kNotRegular);
  // Beside the destination, so that the rename stays on one file system.
  for (int attempt = 0; attempt < 8 && fd_ < 0; ++attempt) {
    temporary_ = "." + name_ + "." + RandomHex() + ".part";
    fd_ = folder_->CreateExclusive(temporary_);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int cause = errno;
    temporary_.clear();
    if (cause == ENOENT || cause == ENOTDIR) throw OutputFileError("its folder does not exist");
    throw OutputFileError(std::string("cannot create a file in its folder: ") + std::strerror(cause));
  }
  temporaryPath_ = folder_->PathOf(temporary_);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) CloseOutputDescriptor(fd_);
  if (!committed_ && !temporary_.empty()) folder_->Remove(temporary_);
}

bool OutputFile::Write(const void* data, std::size_t size) {
  // In pieces of 16 MiB, so that SIGINT or SIGTERM (under an
  // InterruptionGuard) stops a large write soon.
  constexpr std::size_t kPiece = 16 * 1024 * 1024;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    packer::ThrowIfInterrupted();
    const long written = WriteSomeBytes(fd_, bytes, size < kPiece ? size : kPiece);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

void OutputFile::Finish() {
  if (fd_ < 0) return;
  const int result = CloseOutputDescriptor(fd_);
  fd_ = -1;
  if (result != 0) throw OutputFileError(std::string("cannot finish writing the file: ") + std::strerror(errno));
}

void OutputFile::Commit() {
  Finish();
  // The last moment an interruption keeps the destination as it was.
  packer::ThrowIfInterrupted();
  // Again just before the rename: something else may stand there by now.
  if (replace_ && !ReplaceableOrAbsent(folder_->KindOf(name_))) throw OutputFileError(kNotRegular);
  std::string why;
  if (!folder_->Rename(temporary_, name_, replace_, &why)) throw OutputFileError(why);
  committed_ = true;
}

void OutputFile::CommitAs(const std::string& name) {
  name_ = name;
  Commit();
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
