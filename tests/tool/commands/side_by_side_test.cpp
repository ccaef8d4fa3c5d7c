// Both pieces run whatever the other does, and a failure comes out as a run
// in order would report it: the first piece's before the second's.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tool/commands/side_by_side.h"

namespace commands {
namespace {

TEST(SideBySide, BothRunAndTheFirstFailureWins) {
  const struct {
    bool firstThrows, secondThrows;
    const char* reported;  // "" when nothing is thrown
  } cases[] = {{false, false, ""}, {true, false, "first"}, {false, true, "second"}, {true, true, "first"}};
  for (const auto& c : cases) {
    bool firstRan = false, secondRan = false;
    std::string reported;
    try {
      RunSideBySide(
          [&] {
            firstRan = true;
            if (c.firstThrows) throw std::runtime_error("first");
          },
          [&] {
            secondRan = true;
            if (c.secondThrows) throw std::runtime_error("second");
          });
    } catch (const std::runtime_error& e) {
      reported = e.what();
    }
    EXPECT_TRUE(firstRan && secondRan) << c.reported;
    EXPECT_EQ(reported, c.reported);
  }
}

}  // namespace
}  // namespace commands
