// Sending symbols through the adaptive code tree that the decoder keeps in
// step: a symbol's code is the path from the root to its leaf, and the tree
// is counted after every symbol exactly as the decoder counts it.
#pragma once

#include <cstdint>

#include "core/codec/bit_writer.h"
#include "core/codec/adaptive_model.h"

namespace codec {

// Writes the code of symbol `s` (0-283) and counts it in `model`.
void EncodeSymbol(AdaptiveModel& model, BitWriter& writer, unsigned s);

// The code length in bits of symbol `s` under the model as it stands.
unsigned CodeLength(const AdaptiveModel& model, unsigned s);

// The code length in bits of every symbol under the model as it stands.
void SymbolCodeLengths(const AdaptiveModel& model, std::uint8_t (&lengths)[kSymbolCount]);

}  // namespace codec
