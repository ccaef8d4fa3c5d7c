// The one kind of failure every part of the tool throws when it cannot go
// on: a refusal, an unreadable or damaged image, a stub the packer cannot
// use, a failed write. It carries the file it concerns, the problem in a
// few words (what()) and the exit status it ends the command with; the
// commands' top prints it as "saverkit: FILE: problem". Header only, so
// that the reader and the packer throw it without depending on commands.
#pragma once

#include <stdexcept>
#include <string>

namespace errors {

// Exit statuses of every command.
enum ExitStatus : int {
  kExitOk = 0,
  kExitDataError = 1,   // a damaged or unreadable image, a failed entry
  kExitUsageError = 2,  // bad arguments
};

class Failure : public std::runtime_error {
 public:
  // `file` empty: the failure concerns the command's main file.
  Failure(std::string file, const std::string& problem, int status)
      : std::runtime_error(problem), file_(std::move(file)), status_(status) {}

  // A failure that concerns no file, such as an unknown command: printed as
  // "saverkit: problem".
  static Failure Unfiled(const std::string& problem, int status) {
    Failure failure("", problem, status);
    failure.concernsFile_ = false;
    return failure;
  }

  // This failure told as one of `file` with `lead` before its problem
  // ("cannot sign the image: "), ending the command with `status`: for the
  // command that knows which of its files and which step a failure is about.
  Failure Within(std::string file, const std::string& lead, int status) const {
    return Failure(std::move(file), lead + what(), status);
  }

  const std::string& file() const { return file_; }
  bool concernsFile() const { return concernsFile_; }
  int status() const { return status_; }

 private:
  std::string file_;
  int status_;
  bool concernsFile_ = true;
};

}  // namespace errors
