// Decimal text of a 32-bit count with a comma between groups of three
// digits: 0 -> "0", 1234567 -> "1,234,567", 4294967295 -> "4,294,967,295".
#pragma once

#include <cstdint>

namespace text {

// The longest result is 13 characters and the terminator.
constexpr unsigned kFormatThousandsSize = 14;

// Writes into `output` (at least kFormatThousandsSize bytes) and returns it,
// so that the call can stand directly as a formatting argument.
char* FormatThousands(std::uint32_t value, char* output);

}  // namespace text
