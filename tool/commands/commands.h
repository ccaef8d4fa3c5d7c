// The saverkit commands. Each Add...Command registers its subcommand on the
// application; its callback runs the command and stores the exit status.
#pragma once

#include <CLI/CLI.hpp>

#include "tool/errors/failure.h"

namespace commands {

// Exit statuses of every command (tool/failure.h).
using errors::ExitStatus;
using errors::kExitDataError;
using errors::kExitOk;
using errors::kExitUsageError;

void AddListCommand(CLI::App& app, int& exitStatus);
void AddPackCommand(CLI::App& app, int& exitStatus);
void AddTestCommand(CLI::App& app, int& exitStatus);
void AddExtractCommand(CLI::App& app, int& exitStatus);
void AddIdentifyCommand(CLI::App& app, int& exitStatus);
void AddDiffCommand(CLI::App& app, int& exitStatus);

}  // namespace commands
