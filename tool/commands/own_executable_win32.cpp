// The program's own file on Windows: the C runtime's _pgmptr, which it sets
// at start-up to the full path of the executable, in the ANSI code page like
// every path the tool takes from its command line.
#include "tool/commands/own_executable.h"

#include <cstdlib>

namespace commands {

std::filesystem::path OwnExecutable() {
  const char* path = _pgmptr;
  return path != nullptr && *path != '\0' ? std::filesystem::path(path) : std::filesystem::path();
}

}  // namespace commands
