// The program's own file on Linux: the link /proc/self/exe.
#include "tool/commands/own_executable.h"

#include <system_error>

namespace commands {

std::filesystem::path OwnExecutable() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

}  // namespace commands
