// Finding the installer program and the uninstaller the tool packs.
#include "tool/commands/build_output.h"

#include <system_error>

namespace commands {

namespace fs = std::filesystem;

std::string FindBuildOutput(const fs::path& programDirectory, const char* name) {
  for (const fs::path& candidate : {programDirectory / name, programDirectory / ".." / "win32" / name,
                                    programDirectory / ".." / "share" / "saverkit" / name}) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate.lexically_normal().string();
  }
  return std::string();
}

}  // namespace commands
