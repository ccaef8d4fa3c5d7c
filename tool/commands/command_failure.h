// The tool's one error idiom: a command throws when it cannot go on (a
// refusal, an unreadable or damaged image, a failed write), and the
// command's top catches it once, prints "saverkit: FILE: problem" and maps
// it to the exit status. Per-entry results are reports, not failures.
#pragma once

#include <functional>
#include <string>

namespace commands {

// A refusal or failure that a command raises itself; `file` may be empty
// (the command's main file is named then).
struct CommandFailure {
  std::string file;
  std::string problem;
  int status;
};

// Runs `command` and returns its exit status; every failure it throws
// (CommandFailure with its own status, ImageError as 1, packer::PackError as
// 2, any other std::exception as 1) is printed as one line. `mainFile` names the failure
// when the exception does not.
int RunCommandReportingFailures(const std::string& mainFile, const std::function<int()>& command);

}  // namespace commands
