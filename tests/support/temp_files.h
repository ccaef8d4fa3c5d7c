// Temporary files and folders for tests, removed when the test ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary directory, removed with its
// contents on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Writes `bytes` to path()/name and returns the full path.
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
std::string FileText(const std::string& path);

// Number of file descriptors this process has open (for leak checks).
int OpenDescriptorCount();

struct CommandOutput {
  int exitStatus = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `argv` (no shell; a bare program name is looked up on PATH) in
// `workingDirectory` (empty: this process's) and collects its output and
// exit status.
CommandOutput RunCommand(const std::vector<std::string>& argv,
                         const std::string& workingDirectory = "");

}  // namespace testsupport
