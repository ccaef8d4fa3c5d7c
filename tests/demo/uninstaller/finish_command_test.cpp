// The command line handed to the uninstaller's finishing copy.
#include "demo/uninstaller/finish_command.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(FinishCommand, WrittenLineIsReadBack) {
  for (const auto& [silent, elevated] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
    char written[uninstaller::kFinishLineSize];
    ASSERT_TRUE(uninstaller::FormatFinishCommandLine(
        written, sizeof written, "C:\\Users\\Ann\\AppData\\Local\\Temp\\skU1A2.tmp",
        "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora", silent, elevated));
    const std::string line = written;
    EXPECT_EQ(line, std::string("\"C:\\Users\\Ann\\AppData\\Local\\Temp\\skU1A2.tmp\" /finish "
                                "\"C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\"") +
                        (silent ? " /S" : "") + (elevated ? " /ELEVATED-CHILD" : ""));
    // WinMain gets the arguments without the program's path.
    const std::string arguments = line.substr(line.find("/finish"));
    uninstaller::FinishCommand command;
    ASSERT_TRUE(uninstaller::ParseFinishCommand(arguments.c_str(), &command));
    EXPECT_STREQ(command.TitleDirectory, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora");
    EXPECT_EQ(command.Silent, silent);
    EXPECT_EQ(command.UserSettingsLeftToLauncher, elevated);
  }
}

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
