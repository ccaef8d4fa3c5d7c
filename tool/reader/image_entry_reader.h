// Reading and decoding payload entries from an installer image file, for
// the tool: the stored bytes come from the file in large blocks, decoded
// bytes go to any sink (a file writer, or nowhere when only checking), and
// each entry gets a verdict on its soundness.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/codec/decoder_core.h"
#include "tool/reader/image_file.h"
#include "tool/reader/work_budget.h"
#include "core/format/manifest_layout.h"

namespace reader {

enum class EntryVerdict {
  kOk,
  kDataBeyondEnd,  // the stored bytes run past the end of the image file
  kTruncated,      // the stream ran out before the expanded size was reached
  kTooLarge,       // an expanded size of 2^31 or more: the installer writes nothing
  kReadFailed,     // the image could not be read
};

struct EntryReport {
  EntryVerdict verdict = EntryVerdict::kOk;
  std::uint64_t written = 0;      // bytes handed to the sink
  std::uint32_t unreadBytes = 0;  // whole stored bytes the stream did not need
};

const char* VerdictText(EntryVerdict verdict);

// Receives the decoded (or copied) bytes of an entry in pieces; returns
// false to stop (a write failed).
using ChunkSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

// Installs one entry into `sink` the way the installer would: a stored entry
// is copied, a compressed one decoded with `decoder`, whose ring carries over
// from the entry before, as in the installer. Call it for exactly the
// entries the installer writes (PayloadImage::InstallerRefusalOf), so that
// the ring stays the installer's. Unlike the installer, decoding stops as
// soon as the stored bytes run out (verdict Truncated; the sink has then
// received only what the stored bytes hold) or the sink refuses bytes, so a
// small entry that declares a huge expanded size costs no more than its
// stored bytes. Returns false when the sink refused bytes.
//
// Every byte copied or decoded (or stored byte read, when that is more) is
// charged to `budget`, one for the whole command; once it is spent no
// further bytes reach the sink, and ReadImageEntry throws budget.Failure().
bool ReadImageEntry(ImageFile& image, const format::PayloadEntry& entry, codec::DecoderState& decoder,
                    WorkBudget& budget, const ChunkSink& sink, EntryReport* report);

}  // namespace reader
