// Every file the tool writes goes through here, so that it is either whole
// and checked or not there at all. The bytes go to a temporary file in the
// destination's own folder, created exclusively (O_CREAT | O_EXCL, and
// O_NOFOLLOW where the system has it) under an unpredictable name
// ".<name>.<16 hex digits>.part", so a link planted at any name is never
// followed; only when it is complete is it renamed to the destination, and
// an existing destination is replaced only when the caller allows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tool/errors/failure.h"

namespace commands {

// A refusal or a failed write; what() says which, in a few words. It
// concerns the command's output file.
class OutputFileError : public errors::Failure {
 public:
  explicit OutputFileError(const std::string& problem) : errors::Failure("", problem, errors::kExitDataError) {}
};

// Creates `path` for writing only when no file, directory or link of that
// name exists, never following a link; the descriptor, or -1 with errno set
// (EEXIST when the name is taken). Every temporary file is made by it.
int CreateExclusiveFile(const std::string& path);

class OutputFile {
 public:
  // Refuses a destination that is a directory, whose folder does not exist,
  // or that exists while `replace` is false; then creates the temporary
  // file. Throws OutputFileError.
  OutputFile(const std::string& destination, bool replace);
  // Removes the temporary file unless it was committed.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Appends bytes; false when the write failed (errno tells why).
  bool Write(const void* data, std::size_t size);
  // Closes the temporary file; the bytes stay readable at TemporaryPath()
  // for a check. Throws OutputFileError when the close reports an error.
  void Finish();
  const std::string& TemporaryPath() const { return temporary_; }
  // Finishes if needed and renames the file to the destination: without
  // `replace`, the rename fails when the destination has appeared meanwhile.
  // Throws OutputFileError.
  void Commit();

 private:
  std::string destination_;
  std::string temporary_;
  bool replace_;
  int fd_ = -1;
  bool committed_ = false;
};

// Writes `bytes` through an OutputFile, runs `check` on the finished
// temporary file, and commits it. On any failure (an exception from
// `check` included, which is passed on) nothing is left behind and the
// destination is as it was.
void WriteCheckedFile(const std::string& destination, const std::vector<std::uint8_t>& bytes,
                      bool replace, const std::function<void(const std::string& temporaryPath)>& check);

}  // namespace commands
