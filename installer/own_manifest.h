// The installer's readers of its own manifest, on a handle that
// OpenPayloadManifest left at the manifest's first byte: the title, the
// way to the entry table, and the table's entries one by one.
#pragma once

#include <windows.h>

#include <cstdint>

#include "core/format/manifest_layout.h"

namespace installer {

// The manifest read sequentially through an open handle: Read is one
// _lread, Skip one relative _llseek.
class LopenManifestCursor {
 public:
  explicit LopenManifestCursor(HFILE file) : file_(file) {}
  bool Read(void* buffer, std::uint32_t size) { return _lread(file_, buffer, size) == size; }
  bool Skip(std::uint32_t size) {
    return _llseek(file_, static_cast<LONG>(size), FILE_CURRENT) != HFILE_ERROR;
  }

 private:
  HFILE file_;
};

// The title as read (260 bytes) plus the terminating zero that storage
// always keeps behind them. Trimmed of trailing blanks by the install
// sequence after the pre-install checks.
extern char ScreenSaverTitle[format::kTitleFieldSize + 1];

// Fills ScreenSaverTitle from the installer's own manifest. When the manifest
// cannot be opened the title keeps what it held. False when the manifest
// cannot be opened or its header read: the image is damaged.
bool ReadScreenSaverTitle();

// Reads the title field from a handle at the manifest's first byte into
// `title` (260 bytes and a terminator). False on a short read.
bool ReadTitleField(HFILE manifest, char (&title)[format::kTitleFieldSize + 1]);

// From the manifest's first byte to its first entry: reads LicenseLength,
// skips the licence text and the title, reads NumberBase. False when a read
// comes up short or a seek fails; the table then counts as empty.
bool SkipToEntryTable(HFILE manifest, std::uint16_t* numberBase);

// Reads the next 28-byte entry. False at the terminator (StoredSize 0) and
// when the read comes up short: either ends the table.
bool ReadNextEntry(HFILE manifest, format::PayloadEntry* entry);

}  // namespace installer
