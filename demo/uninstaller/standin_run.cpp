#include "demo/uninstaller/standin_run.h"

#include "demo/uninstaller/uninstaller.h"

namespace uninstaller {

hostwin::RunResult RunInStandIn(const std::string& machineFolder, const std::string& program,
                                const std::string& commandLine, const std::vector<std::string>& answers) {
  hostwin::RunOptions run;
  run.machineFolder = machineFolder;
  run.imageWindowsPath = program;
  run.programs = {{program, Main}};
  run.commandLine = commandLine;
  run.answers = answers;
  return hostwin::RunProgram(run, Main);
}

}  // namespace uninstaller
