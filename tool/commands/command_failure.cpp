// Catching a command's failure once and mapping it to an exit status.
#include "tool/commands/command_failure.h"

#include <exception>

#include "tool/reader/payload_image.h"
#include "tool/packer/packer.h"
#include "tool/packer/stub_image.h"
#include "tool/commands/commands.h"
#include "tool/commands/output_file.h"
#include "tool/commands/text_output.h"

namespace commands {

using reader::ImageError;

namespace {

const std::string& Named(const std::string& file, const std::string& mainFile) {
  return file.empty() ? mainFile : file;
}

}  // namespace

int RunCommandReportingFailures(const std::string& mainFile, const std::function<int()>& command) {
  try {
    return command();
  } catch (const CommandFailure& failure) {
    PrintError(Named(failure.file, mainFile), failure.problem);
    return failure.status;
  } catch (const ImageError& e) {
    PrintError(Named(e.file(), mainFile), e.what());
    return kExitDataError;
  } catch (const packer::PackError& e) {
    // The packer refuses what it was given to pack: a usage error.
    PrintError(Named(e.file(), mainFile), e.what());
    return kExitUsageError;
  } catch (const std::exception& e) {
    PrintError(mainFile, e.what());
    return kExitDataError;
  }
}

}  // namespace commands
