// How Windows starts a screen saver.
#include "demo/screensaver/saver_command_line.h"

#include <gtest/gtest.h>

namespace {

using screensaver::SaverMode;

TEST(SaverCommandLine, EveryUsualForm) {
  struct Case {
    const char* arguments;
    SaverMode mode;
    std::uintptr_t window;
    bool explicitMode;
  };
  const Case cases[] = {{"/s", SaverMode::kFullScreen, 0, true},
                        {"/S", SaverMode::kFullScreen, 0, true},
                        {"-s", SaverMode::kFullScreen, 0, true},
                        {"  /s  ", SaverMode::kFullScreen, 0, true},
                        {"/p 1234", SaverMode::kPreview, 1234, true},
                        {"/P:1234", SaverMode::kPreview, 1234, true},
                        {"-p   987654", SaverMode::kPreview, 987654, true},
                        {"/p", SaverMode::kPreview, 0, true},
                        {"/p abc", SaverMode::kPreview, 0, true},
                        {"/p 99999999999999999999999999", SaverMode::kPreview, 0, true},
                        {"/c", SaverMode::kSettings, 0, true},
                        {"/c:4242", SaverMode::kSettings, 4242, true},
                        {"/C 77", SaverMode::kSettings, 77, true},
                        {"/a 55", SaverMode::kPassword, 55, true},
                        {"", SaverMode::kSettings, 0, false},
                        {"/x", SaverMode::kSettings, 0, false},
                        {"/scan", SaverMode::kSettings, 0, false},
                        {"s", SaverMode::kSettings, 0, false},
                        {"/", SaverMode::kSettings, 0, false}};
  for (const Case& c : cases) {
    const screensaver::SaverCommand command = screensaver::ParseSaverCommandLine(c.arguments);
    EXPECT_EQ(command.Mode, c.mode) << c.arguments;
    EXPECT_EQ(command.Window, c.window) << c.arguments;
    EXPECT_EQ(command.Explicit, c.explicitMode) << c.arguments;
  }
}

}  // namespace
