// The installer's command line: switches in any case and order, quotes
// around a log path with blanks, and what counts as bad arguments.
#include "installer/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandLine, SwitchesQuotesAndBadArguments) {
  const std::string longPath(260, 'x');
  struct Case {
    std::string line;
    bool silent;
    bool help;
    std::string log;
    std::string unknown;  // the argument the help box names
  } cases[] = {
      {"", false, false, "", ""},
      {"  \t ", false, false, "", ""},
      {"/S", true, false, "", ""},
      {"/s", true, false, "", ""},
      {"/log=C:\\x.log /S", true, false, "C:\\x.log", ""},
      {"/LOG=\"C:\\a b\\x.log\"", false, false, "C:\\a b\\x.log", ""},
      {"\"/LOG=C:\\a b\\x.log\" /s", true, false, "C:\\a b\\x.log", ""},
      {"/Log=C:\\a\" b\"\\x.log", false, false, "C:\\a b\\x.log", ""},
      {"/LOG=a\\\\\"b c\"", false, false, "a\\b c", ""},  // 2n backslashes: n, the quote groups
      {"/LOG=a\\\"b", false, false, "a\"b", ""},         // 2n+1: a literal quote
      {"/?", false, true, "", ""},
      {"/S /?", true, true, "", ""},
      {"/SILENT", false, false, "", "/SILENT"},
      {"/S /X /Y", true, false, "", "/X"},
      {"S", false, false, "", "S"},
      {"/LOG=", false, false, "", "/LOG="},
      {"/LOG", false, false, "", "/LOG"},
      {"-S", false, false, "", "-S"},
      {"/LOG=C:\\" + longPath, false, false, "", ("/LOG=C:\\" + longPath).substr(0, 63)},
  };
  for (const Case& c : cases) {
    const installer::CommandLine line = installer::ParseCommandLine(c.line.c_str());
    EXPECT_EQ(line.silent, c.silent) << c.line;
    EXPECT_EQ(line.help, c.help) << c.line;
    EXPECT_EQ(line.logPath, c.log) << c.line;
    EXPECT_EQ(line.unknown, c.unknown) << c.line;
    EXPECT_EQ(line.BadArguments(), c.help || !c.unknown.empty()) << c.line;
  }
  EXPECT_FALSE(installer::ParseCommandLine(nullptr).BadArguments());
}

TEST(CommandLine, ProgramNameSkipped) {
  const struct {
    const char* whole;
    const char* arguments;
  } cases[] = {
      {"", ""},
      {"setup.exe", ""},
      {"setup.exe /S", "/S"},
      {"setup.exe \t /S  /LOG=x ", "/S  /LOG=x "},
      {"\"C:\\My Files\\setup.exe\" /S", "/S"},
      {"\"C:\\My Files\\setup.exe\"/S", ""},    // a name ends only at a blank
      {"setup.exe\r\n/S", "/S"},                   // control characters are blanks
      {"\xC4setup.exe /S", "/S"},                   // bytes over 0x7F are not
      {"C:\\a\" b\"\\setup.exe /?", "/?"},     // quotes group inside the name too
      {"\"C:\\unclosed /S", ""},
      {"\\\"setup.exe\" /S", "/S"},              // a backslash escapes nothing in the name
  };
  for (const auto& c : cases) EXPECT_STREQ(installer::SkipProgramName(c.whole), c.arguments) << c.whole;
}

}  // namespace
