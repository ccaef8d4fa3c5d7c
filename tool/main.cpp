// saverkit: identifies, lists, tests, extracts, compares, packs and
// previews screen saver installer images.
#include <string>

#include "saverkit_version.h"
#include "tool/commands/command_failure.h"
#include "tool/commands/commands.h"
#if SAVERKIT_PREVIEW
#include "tool/preview/preview_command.h"
#include "tool/verify/verify_command.h"
#endif

namespace {

// The first word that is not an option names the command (the program
// itself takes only flags); one it does not know is named back with the
// list, rather than as a missing command.
void RequireKnownCommand(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (!word.empty() && word[0] == '-') continue;
    std::string names;
    bool known = false;
    for (const CLI::App* command : app.get_subcommands({})) {
      known = known || command->check_name(word);
      names += (names.empty() ? "" : ", ") + command->get_name();
    }
    if (!known) {
      throw errors::Failure::Unfiled("unknown command \"" + word + "\" (commands: " + names + ")",
                                   errors::kExitUsageError);
    }
    return;
  }
}

// Parses the command line, which runs the command it names; the command's
// exit status, or the one of a request for help or the version.
int ParseAndRun(CLI::App& app, int argc, char** argv, const int& exitStatus) {
  RequireKnownCommand(app, argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    throw errors::Failure::Unfiled(std::string(e.what()) + " (see saverkit --help)", errors::kExitUsageError);
  }
  return exitStatus;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"saverkit " SAVERKIT_VERSION
               ": identifies, lists, tests, extracts, compares, packs and previews screen saver installers"};
  app.set_version_flag("--version", "saverkit " SAVERKIT_VERSION);
  app.require_subcommand(1);
  int exitStatus = errors::kExitOk;
  commands::AddIdentifyCommand(app, exitStatus);
  commands::AddListCommand(app, exitStatus);
  commands::AddTestCommand(app, exitStatus);
  commands::AddExtractCommand(app, exitStatus);
  commands::AddDiffCommand(app, exitStatus);
#if SAVERKIT_PREVIEW
  preview::AddPreviewCommand(app, exitStatus);
  verify::AddVerifyCommand(app, exitStatus);
#endif
  commands::AddPackCommand(app, exitStatus);
  // Failures before any command runs concern no file.
  return commands::RunCommandReportingFailures("", [&] { return ParseAndRun(app, argc, argv, exitStatus); });
}
