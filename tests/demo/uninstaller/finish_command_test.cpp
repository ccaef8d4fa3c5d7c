// The command line handed to the uninstaller's finishing copy: what is not
// the line it writes (the uninstall roads run that one) and the user's switches.
#include "demo/uninstaller/finish_command.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FinishCommand, AnythingElseIsTheUserStartingIt) {
  const std::string lines[] = {
      "",
      "/finish",
      "/finish \"C:\\a\" extra",
      "/finish \"C:\\a\" /S extra",
      "/finish \"C:\\a\" /ELEVATED-CHILD /S",
      "/finish \"C:\\a\" /S /S",
      "/ELEVATED-CHILD",
      "/FINISH \"C:\\a\"",
      "/finish \"\"",
      "/s",
      "/finish \"" + std::string(2000, 'a') + "\"",
  };
  for (const std::string& line : lines) {
    uninstaller::FinishCommand command;
    EXPECT_FALSE(uninstaller::ParseFinishCommand(line.c_str(), &command)) << line;
  }
}

TEST(FinishCommand, UserSwitches) {
  struct Case {
    const char* line;
    bool silent, help, elevated;
    const char* unknown;
  } cases[] = {
      {"", false, false, false, ""},          {"/S", true, false, false, ""},
      {"/s /?", true, true, false, ""},       {"/S /Q", true, false, false, "/Q"},
      {"remove", false, false, false, "remove"}, {"/finish", false, false, false, "/finish"},
      {"/elevated-child /S", true, false, true, ""},
      {"\"\" /S", true, false, false, "\"\""},
  };
  for (const Case& c : cases) {
    uninstaller::UserArguments arguments;
    uninstaller::ParseUserArguments(c.line, &arguments);
    EXPECT_EQ(arguments.Silent, c.silent) << c.line;
    EXPECT_EQ(arguments.Help, c.help) << c.line;
    EXPECT_EQ(arguments.ElevatedChild, c.elevated) << c.line;
    EXPECT_STREQ(arguments.Unknown, c.unknown) << c.line;
    EXPECT_EQ(arguments.Bad(), c.help || *c.unknown != '\0') << c.line;
  }
  // An unknown argument longer than its buffer is cut (it is only shown),
  // and a switch behind it is still read.
  const std::string longWord = "/" + std::string(300, 'S');
  uninstaller::UserArguments arguments;
  uninstaller::ParseUserArguments((longWord + " /s").c_str(), &arguments);
  EXPECT_TRUE(arguments.Silent);
  EXPECT_EQ(arguments.Unknown, longWord.substr(0, sizeof arguments.Unknown - 1));
}

}  // namespace
