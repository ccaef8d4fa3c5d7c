// Runs the built saverkit program (SAVERKIT_TOOL, set by the test target)
// as a user would, and collects its output and exit status.
#pragma once

#include <string>
#include <vector>

#include "temp_files.h"

inline testsupport::CommandOutput Saverkit(std::vector<std::string> args) {
  args.insert(args.begin(), SAVERKIT_TOOL);
  return testsupport::RunCommand(args);
}
