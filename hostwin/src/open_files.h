// The files a program has open for writing, so that every write counts
// against the machine's writable bytes and every close shows in the
// transcript with the file's size.
#pragma once

#include <windows.h>

#include <string>

#include "machine.h"

namespace hostwin {

// Records `fd` as open for writing under the Windows path `path`.
void TrackWrittenFile(int fd, const std::string& path);
// Writes what the machine still has room for; returns the bytes written and
// sets *full when not all of them fit (the first time per file, the
// transcript says "disk full").
std::size_t LimitedWrite(int fd, const void* data, std::size_t size, bool* full);
// Closes `fd`, with a "file close" line when it was open for writing.
int CloseTracked(int fd);

// Win32 error code for the errno of a failed host call on `entry`.
DWORD ErrorFromErrno(int error, const MachineEntry& entry);

// Windows refuses ANSI paths of MAX_PATH characters or more.
bool PathTooLong(const char* path, std::size_t limit = MAX_PATH);

}  // namespace hostwin
