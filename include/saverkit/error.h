// The one exception libsaverkit throws, and its three kinds. Every other
// outcome (an entry the installer does not write, a truncated entry, a
// damaged certificate table) is a value in a result, not an exception.
#pragma once

#include <stdexcept>
#include <string>

namespace saverkit {

enum class ErrorKind {
  kDamaged,      // the image is damaged or hostile: what() says how
  kIo,           // the file could not be read: systemError() is the errno
  kBadArgument,  // the call was wrong (no such entry, a refused pack request)
};

class Error : public std::runtime_error {
 public:
  // `file` may be empty when the error concerns no particular file.
  Error(ErrorKind kind, std::string file, const std::string& problem, int systemError = 0)
      : std::runtime_error(problem), kind_(kind), file_(std::move(file)), systemError_(systemError) {}

  ErrorKind kind() const { return kind_; }
  // The file concerned (the path given to Open, a pack input); may be empty.
  const std::string& file() const { return file_; }
  // For kIo, the errno value (0 when the system gave none); else 0.
  int systemError() const { return systemError_; }

 private:
  ErrorKind kind_;
  std::string file_;
  int systemError_;
};

}  // namespace saverkit
