// How Windows starts a screen saver.
#include "demo/screensaver/saver_command_line.h"

#include <gtest/gtest.h>

namespace {

using demo::SaverMode;

TEST(SaverCommandLine, EveryUsualForm) {
  struct Case {
    const char* arguments;
    SaverMode mode;
    std::uintptr_t window;
  };
  const Case cases[] = {
      {"/s", SaverMode::kFullScreen, 0},
      {"/S", SaverMode::kFullScreen, 0},
      {"-s", SaverMode::kFullScreen, 0},
      {"  /s  ", SaverMode::kFullScreen, 0},
      {"/p 1234", SaverMode::kPreview, 1234},
      {"/P:1234", SaverMode::kPreview, 1234},
      {"-p   987654", SaverMode::kPreview, 987654},
      {"/p", SaverMode::kPreview, 0},
      {"/p abc", SaverMode::kPreview, 0},
      {"/c", SaverMode::kSettings, 0},
      {"/c:4242", SaverMode::kSettings, 4242},
      {"/C 77", SaverMode::kSettings, 77},
      {"/a 55", SaverMode::kPassword, 55},
      {"", SaverMode::kSettings, 0},
      {"/x", SaverMode::kSettings, 0},
      {"/scan", SaverMode::kSettings, 0},
      {"s", SaverMode::kSettings, 0},
      {"/", SaverMode::kSettings, 0},
      {"/p 99999999999999999999999999", SaverMode::kPreview, 0},
  };
  for (const Case& c : cases) {
    const demo::SaverCommand command = demo::ParseSaverCommandLine(c.arguments);
    EXPECT_EQ(command.Mode, c.mode) << c.arguments;
    EXPECT_EQ(command.Window, c.window) << c.arguments;
  }
}

}  // namespace
