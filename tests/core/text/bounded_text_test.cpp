// AppendNumber, by which the uninstaller writes numbers without printf:
// every digit, and nothing when the buffer cannot hold them all.
#include "core/text/bounded_text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(AppendNumber, AllDigitsOrNothing) {
  const struct {
    const char* before;
    unsigned long value;
    std::size_t size;
    bool fits;
    const char* after;
  } cases[] = {
      {"", 0, 2, true, "0"},
      {"code ", 8, 8, true, "code 8"},
      {"", 4294967295ul, 11, true, "4294967295"},
      {"ab", 12, 5, true, "ab12"},     // exactly full
      {"ab", 123, 5, false, "ab"},     // one digit too many: unchanged
      {"", 10, 2, false, ""},
  };
  for (const auto& c : cases) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    std::memcpy(buffer, c.before, std::strlen(c.before) + 1);
    EXPECT_EQ(text::AppendNumber(buffer, c.size, c.value), c.fits) << c.before << c.value;
    EXPECT_STREQ(buffer, c.after) << c.value;
    EXPECT_EQ(buffer[c.size], 'x') << "wrote past the buffer for " << c.value;
  }
}

}  // namespace
