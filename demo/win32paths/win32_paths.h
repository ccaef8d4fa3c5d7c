// Small Win32 helpers shared by the demo screen saver and the uninstaller,
// in fixed buffers (the uninstaller keeps to the C runtime and Win32).
#pragma once

#include <cstddef>

namespace win32paths {

// The long form of an existing path ("C:\WINDOWS\SAVERK~1.SCR" gives
// "C:\WINDOWS\Saverkit Aurora.scr") into `result` of `size` bytes; the path
// as given when Windows cannot say (no such file, or a system without
// GetLongPathNameA). False, `result` empty, when neither fits.
bool LongPathForm(const char* path, char* result, std::size_t size);

// Makes every later DLL load of the process, the system's own delayed
// loads included, search only the system directory: the uninstaller runs
// elevated from the temporary directory, where anyone who can write could
// otherwise plant a DLL beside it. Systems without the call at least drop
// the current directory from the search.
void RestrictDllSearchToSystem();

}  // namespace win32paths
