// Every file the tool writes goes through here, so that it is either whole
// and checked or not there at all. The bytes go to a temporary file in the
// destination's own folder, created exclusively (O_CREAT | O_EXCL, and
// O_NOFOLLOW where the system has it) under an unpredictable name
// ".<name>.<16 hex digits>.part", so a link planted at any name is never
// followed; only when it is complete is it renamed to the destination, and
// an existing destination is replaced only when the caller allows it. Every
// step names the file inside an OutputFolder opened once (output_folder.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tool/commands/output_folder.h"
#include "tool/errors/failure.h"

namespace commands {

// A refusal or a failed write; what() says which, in a few words. It
// concerns the command's output file.
class OutputFileError : public errors::Failure {
 public:
  explicit OutputFileError(const std::string& problem) : errors::Failure("", problem, errors::kExitDataError) {}
};

class OutputFile {
 public:
  // The file `name` of `folder`, which outlives it. Refuses a destination
  // that is a directory (or a link to one), or that exists while `replace`
  // is false; then creates the temporary file in the folder. Throws
  // OutputFileError.
  OutputFile(const OutputFolder& folder, const std::string& name, bool replace);
  // The same for a destination given by its path: its folder is opened for
  // this one file, and refused when it does not exist.
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
  const std::string& TemporaryPath() const { return temporaryPath_; }
  // Finishes if needed and renames the file to the destination: without
  // `replace`, the rename fails when the destination has appeared meanwhile.
  // Throws OutputFileError.
  void Commit();
  // Commits under another name in the same folder (a salvaged ".partial"
  // instead of the real name), with the same rule for replacing.
  void CommitAs(const std::string& name);

 private:
  void Open();

  std::unique_ptr<OutputFolder> ownFolder_;  // when given a path
  const OutputFolder* folder_;
  std::string name_;
  std::string temporary_;      // its name in the folder
  std::string temporaryPath_;  // and its path, for a check
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
