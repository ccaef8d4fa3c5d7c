// Temporary files, descriptor counting and child processes for tests.
#include "temp_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "saverkit-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  return Write(name, std::string(bytes.begin(), bytes.end()));
}

std::string TempFolder::Write(const std::string& name, const std::string& text) const {
  const std::string full = path_ + "/" + name;
  std::ofstream(full, std::ios::binary) << text;
  return full;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string FileText(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++count;
    closedir(dir);
  }
  return count;
}

namespace {

std::string Drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  close(fd);
  return text;
}

}  // namespace

CommandOutput RunCommand(const std::vector<std::string>& argv, const std::string& workingDirectory) {
  // Standard error goes to a file: neither pipe can fill up while the other is read.
  char errPath[] = "/tmp/saverkit-stderr-XXXXXX";
  int errFd = mkstemp(errPath);
  int outPipe[2];
  if (errFd < 0 || pipe(outPipe) != 0) throw std::runtime_error("cannot capture output");
  pid_t child = fork();
  if (child == 0) {
    dup2(outPipe[1], 1);
    dup2(errFd, 2);
    // A program the command leaves running must not keep the output open.
    close(outPipe[0]);
    close(outPipe[1]);
    close(errFd);
    if (!workingDirectory.empty() && chdir(workingDirectory.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(outPipe[1]);
  CommandOutput result;
  result.out = Drain(outPipe[0]);
  int status = 0;
  waitpid(child, &status, 0);
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  lseek(errFd, 0, SEEK_SET);
  result.err = Drain(errFd);
  unlink(errPath);
  return result;
}

}  // namespace testsupport
