// Running UNINSTAL.EXE's code in the Win32 stand-in (host builds only), as
// Windows runs the registered uninstall command: the program at `program`,
// and every copy it makes of itself, is uninstaller::Main whatever bytes the
// file holds; `commandLine` is what follows the program's path.
#pragma once

#include <string>
#include <vector>

#include "hostwin/runner.h"

namespace uninstaller {

hostwin::RunResult RunInStandIn(const std::string& machineFolder, const std::string& program,
                                const std::string& commandLine, const std::vector<std::string>& answers);

}  // namespace uninstaller
