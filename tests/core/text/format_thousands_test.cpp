// FormatThousands: an unsigned 32-bit count with a comma between groups of
// three digits, the whole range.
#include "core/text/format_thousands.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

using text::FormatThousands;
using text::kFormatThousandsSize;

namespace {

TEST(FormatThousands, GroupsOfThreeFromTheRight) {
  struct Case {
    std::uint32_t value;
    const char* expected;
  } cases[] = {
      {0, "0"},          {7, "7"},
      {999, "999"},      {1000, "1,000"},
      {12345, "12,345"}, {123456, "123,456"},
      {1234567, "1,234,567"}, {1052230, "1,052,230"},
      {4294967295u, "4,294,967,295"},
  };
  for (const Case& c : cases) {
    char text[kFormatThousandsSize];
    std::memset(text, 'x', sizeof text);
    EXPECT_STREQ(FormatThousands(c.value, text), c.expected);
  }
}

}  // namespace
