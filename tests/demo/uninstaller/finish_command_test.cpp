// The command line handed to the uninstaller's finishing copy.
#include "demo/uninstaller/finish_command.h"

#include <gtest/gtest.h>

namespace {

TEST(FinishCommand, WrittenLineIsReadBack) {
  const std::string line = uninstaller::FormatFinishCommandLine(
      "C:\\Users\\Ann\\AppData\\Local\\Temp\\skU1A2.tmp", 0x1F4, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora");
  EXPECT_EQ(line,
            "\"C:\\Users\\Ann\\AppData\\Local\\Temp\\skU1A2.tmp\" /finish 500 "
            "\"C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\"");
  // WinMain gets the arguments without the program's path.
  const std::string arguments = line.substr(line.find("/finish"));
  uninstaller::FinishCommand command;
  ASSERT_TRUE(uninstaller::ParseFinishCommand(arguments, &command));
  EXPECT_EQ(command.OriginalProcess, 500u);
  EXPECT_EQ(command.TitleDirectory, "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora");
  EXPECT_FALSE(command.UserSettingsLeftToLauncher);
  // Started elevated by a launcher: the switch rides along to the copy.
  const std::string elevated = uninstaller::FormatFinishCommandLine("C:\\T\\c.tmp", 7, "C:\\D", true);
  ASSERT_TRUE(uninstaller::ParseFinishCommand(elevated.substr(elevated.find("/finish")), &command));
  EXPECT_EQ(command.OriginalProcess, 7u);
  EXPECT_TRUE(command.UserSettingsLeftToLauncher);
}

TEST(FinishCommand, AnythingElseIsTheUserStartingIt) {
  const char* const lines[] = {
      "",
      "/finish",
      "/finish 12",
      "/finish x \"C:\\a\"",
      "/finish -1 \"C:\\a\"",
      "/finish 12 \"C:\\a\" extra",
      "/finish 12 \"C:\\a\" /ELEVATED-CHILD extra",
      "/ELEVATED-CHILD",
      "/FINISH 12 \"C:\\a\"",
      "/finish 99999999999999999999999 \"C:\\a\"",
      "/finish 12 \"\"",
      "/s",
  };
  for (const char* line : lines) {
    uninstaller::FinishCommand command;
    EXPECT_FALSE(uninstaller::ParseFinishCommand(line, &command)) << line;
  }
  uninstaller::FinishCommand command;
  EXPECT_FALSE(uninstaller::ParseFinishCommand("/finish 1 \"" + std::string(2000, 'a') + "\"", &command));
}

}  // namespace
