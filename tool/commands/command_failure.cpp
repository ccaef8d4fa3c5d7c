// Catching a command's failure once and mapping it to an exit status.
#include "tool/commands/command_failure.h"

#include <exception>

#include "saverkit/error.h"
#include "tool/commands/text_output.h"

namespace commands {

int RunCommandReportingFailures(const std::string& mainFile, const std::function<int()>& command) {
  try {
    return command();
  } catch (const Failure& failure) {
    if (!failure.concernsFile())
      PrintError(failure.what());
    else
      PrintError(failure.file().empty() ? mainFile : failure.file(), failure.what());
    return failure.status();
  } catch (const saverkit::Error& error) {
    // The library's errors: a refused argument ends as a usage error,
    // damage and unreadable files as data errors.
    PrintError(error.file().empty() ? mainFile : error.file(), error.what());
    return error.kind() == saverkit::ErrorKind::kBadArgument ? errors::kExitUsageError : errors::kExitDataError;
  } catch (const std::exception& e) {
    PrintError(mainFile, e.what());
    return errors::kExitDataError;
  }
}

}  // namespace commands
