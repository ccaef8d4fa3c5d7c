// The Windows directory as the installer reads it, in one place: every
// part of the installer that needs it asks here.
#pragma once

#include <windows.h>

namespace installer {

// GetWindowsDirectoryA into `buffer` of `size` bytes. False when the call
// fails (0) or the directory does not fit (the call then gives the size it
// would need); `buffer` then holds "".
inline bool ReadWindowsDirectory(char* buffer, UINT size) {
  const UINT length = GetWindowsDirectoryA(buffer, size);
  if (length > 0 && length < size) return true;
  if (size > 0) buffer[0] = '\0';
  return false;
}

}  // namespace installer
