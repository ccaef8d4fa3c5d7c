// An installer image opened by the tool with plain C++ file I/O (or held
// in memory), as the
// byte source of the payload walk and of the entry readers. The path is an
// ordinary host path: "C:x.exe" or "a\b.exe" name files in the current
// folder on Linux.
#pragma once

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/format/source_cursor.h"
#include "tool/errors/failure.h"

namespace reader {

// An image that cannot be read or is damaged: file() names it, what() says
// what is wrong in a few words. It ends a command as a data error.
// systemError() is the errno when the file could not be read, else 0.
class ImageError : public errors::Failure {
 public:
  ImageError(std::string file, const std::string& problem, int systemError = 0)
      : errors::Failure(std::move(file), problem, errors::kExitDataError), systemError_(systemError) {}
  int systemError() const { return systemError_; }

 private:
  int systemError_;
};

class ImageFile {
 public:
  // Throws ImageError when the file cannot be opened for reading or is not a
  // regular file (a pipe or a device is never opened, so it cannot block),
  // saying which, with the system's reason.
  void Open(const std::string& path);
  // Reads an image held in memory instead; `bytes` is shared, not copied.
  void OpenMemory(std::shared_ptr<const std::vector<std::uint8_t>> bytes);
  std::uint64_t Size() const { return size_; }

  // Exactly `size` bytes from `offset`; false when the file ends first.
  bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size);

 private:
  std::ifstream in_;
  std::shared_ptr<const std::vector<std::uint8_t>> memory_;  // set: read from here
  static constexpr std::uint64_t kUnknownPosition = ~std::uint64_t{0};
  std::uint64_t size_ = 0;
  std::uint64_t next_ = kUnknownPosition;  // where the stream stands after the last read
};

// A forward cursor over an ImageFile, for the manifest readers.
using ImageFileCursor = format::SourceCursor<ImageFile>;

}  // namespace reader
