// The saverkit commands. Each Add...Command registers its subcommand on the
// application; its callback runs the command and stores the exit status.
#pragma once

#include <CLI/CLI.hpp>

namespace commands {

// Exit statuses of every command.
enum ExitStatus : int {
  kExitOk = 0,
  kExitDataError = 1,   // a damaged or unreadable image, a failed entry
  kExitUsageError = 2,  // bad arguments
};

void AddListCommand(CLI::App& app, int& exitStatus);
void AddPackCommand(CLI::App& app, int& exitStatus);
void AddTestCommand(CLI::App& app, int& exitStatus);
void AddExtractCommand(CLI::App& app, int& exitStatus);

}  // namespace commands
