// The tool's one error idiom: a command throws an errors::Failure when it
// cannot go on (a refusal, an unreadable or damaged image, a failed write),
// and the command's top catches it once, prints "saverkit: FILE: problem"
// and ends with the failure's exit status. Per-entry results are reports,
// not failures.
#pragma once

#include <functional>
#include <string>

#include "tool/errors/failure.h"

namespace commands {

using errors::Failure;

// Runs `command` and returns its exit status; a Failure it throws is printed
// as one line naming its file (`mainFile` when it names none) and ends with
// its status, a saverkit::Error (the library's) likewise by its kind, any
// other std::exception is printed naming `mainFile` and
// ends with kExitDataError.
int RunCommandReportingFailures(const std::string& mainFile, const std::function<int()>& command);

}  // namespace commands
