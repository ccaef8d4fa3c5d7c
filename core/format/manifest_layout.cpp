// Conversion of 28-byte payload entries between file bytes and PayloadEntry.
#include "manifest_layout.h"

#include <cstring>

namespace format {

PayloadEntry DecodePayloadEntry(const std::uint8_t (&raw)[kEntrySize]) {
  PayloadEntry entry;
  entry.DataOffset = ReadLe32(raw + 0);
  entry.StoredSize = ReadLe32(raw + 4);
  entry.ExpandedSize = ReadLe32(raw + 8);
  std::memcpy(entry.Name, raw + 12, kEntryNameSize);
  entry.Kind = raw[27];
  return entry;
}

void EncodePayloadEntry(const PayloadEntry& entry, std::uint8_t (&raw)[kEntrySize]) {
  WriteLe32(raw + 0, entry.DataOffset);
  WriteLe32(raw + 4, entry.StoredSize);
  WriteLe32(raw + 8, entry.ExpandedSize);
  std::memcpy(raw + 12, entry.Name, kEntryNameSize);
  raw[27] = entry.Kind;
}

}  // namespace format
