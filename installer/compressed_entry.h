// Installing one compressed payload entry: the installer's own image file is
// opened with the C runtime, positioned at the entry's data and decoded into
// the destination file.
#pragma once

#include <windows.h>

namespace installer {

// Resets both decoder streams, opens the image of `instance` ("rb") at
// `dataOffset` and `destination` ("wb"), decodes the entry, and closes the
// destination, then the image. Returns 1 after decoding; 0 when the module's
// file name cannot be had (nothing is created) or when either file cannot be
// opened (nothing is decoded).
int ExtractCompressedEntry(HINSTANCE instance, DWORD dataOffset, DWORD expandedSize,
                           DWORD storedSize, LPCSTR destination);

}  // namespace installer
