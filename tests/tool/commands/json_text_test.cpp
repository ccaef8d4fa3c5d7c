// The direct JSON string of an image's text must be the JSON library's own
// text of it, byte for byte, whatever the bytes: list, test and diff mix
// the two in one output.
#include <gtest/gtest.h>

#include <string>

#include "tool/commands/json_text.h"
#include "tool/commands/text_output.h"

namespace commands {
namespace {

TEST(JsonString, SameAsTheLibrarysTextForEveryByte) {
  for (int byte = 0; byte < 256; ++byte) {
    const std::string text = std::string("A\\\"b") + static_cast<char>(byte) + "/z";
    EXPECT_EQ(JsonString(text), JsonText(Windows1252ToUtf8(text))) << "byte " << byte;
  }
  EXPECT_EQ(JsonString(""), "\"\"");
  EXPECT_EQ(JsonString("MARLOWEN\\a \"b\".MID"), "\"MARLOWEN\\\\a \\\"b\\\".MID\"");
}

}  // namespace
}  // namespace commands
