// The cost-driven parse of the entry encoder: literals and matches chosen by
// what they cost in the adaptive code, block by block.
#pragma once

#include <cstdint>
#include <vector>

#include "core/codec/stream_writer.h"

namespace codec {

// Sends the data of `window` (the 4066 preset spaces, then the data; never
// shorter than the spaces) through `items` as the cheapest sequence of
// literals and matches the parse finds.
void OptimalParse(const std::vector<std::uint8_t>& window, EntryStreamWriter& items);

}  // namespace codec
