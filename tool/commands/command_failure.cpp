// Catching a command's failure once and mapping it to an exit status.
#include "tool/commands/command_failure.h"

#include <exception>

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
  } catch (const std::exception& e) {
    PrintError(mainFile, e.what());
    return errors::kExitDataError;
  }
}

}  // namespace commands
