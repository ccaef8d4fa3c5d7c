// Reading an image file with std::ifstream, or an image held in memory.
#include "tool/reader/image_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace reader {

void ImageFile::Open(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) throw ImageError(path, "cannot open the file: " + error.message(), error.value());
  if (!std::filesystem::is_regular_file(status)) {
    const bool folder = std::filesystem::is_directory(status);
    throw ImageError(path, folder ? "cannot open the file: it is a folder" : "cannot open the file: not a regular file",
                     folder ? EISDIR : EINVAL);
  }
  errno = 0;
  in_.open(path, std::ios::binary);
  if (!in_) {
    const int cause = errno;
    throw ImageError(path, std::string("cannot open the file: ") + (cause ? std::strerror(cause) : "unreadable"),
                     cause ? cause : EIO);
  }
  in_.seekg(0, std::ios::end);
  const std::streamoff end = in_.tellg();
  // An open regular file whose end cannot be found (files of /proc): the
  // system gives no reason to pass on, so say what failed.
  if (end < 0) throw ImageError(path, "cannot open the file: its size cannot be found", EIO);
  size_ = static_cast<std::uint64_t>(end);
}

void ImageFile::OpenMemory(std::shared_ptr<const std::vector<std::uint8_t>> bytes) {
  memory_ = std::move(bytes);
  size_ = memory_->size();
}

bool ImageFile::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size) {
  if (offset > size_ || size > size_ - offset) return false;
  if (memory_) {
    if (size > 0) std::memcpy(buffer, memory_->data() + offset, size);
    return true;
  }
  // A seek drops the stream's buffer; reads that follow one another (the
  // entry table, 28 bytes at a time) go on from the buffer instead.
  if (offset != next_) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
  }
  in_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  const bool whole = static_cast<std::uint32_t>(in_.gcount()) == size;
  next_ = whole ? offset + size : kUnknownPosition;
  return whole;
}

}  // namespace reader
