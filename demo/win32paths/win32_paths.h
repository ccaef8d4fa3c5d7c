// Small Win32 helpers shared by the demo screen saver and the uninstaller.
#pragma once

#include <string>

namespace win32paths {

// The long form of an existing path ("C:\WINDOWS\SAVERK~1.SCR" gives
// "C:\WINDOWS\Saverkit Aurora.scr"); the path as given when Windows cannot
// say (no such file, or a system without GetLongPathNameA).
std::string LongPathForm(const std::string& path);

// Makes every later DLL load of the process, the system's own delayed
// loads included, search only the system directory: the uninstaller runs
// elevated from the temporary directory, where anyone who can write could
// otherwise plant a DLL beside it. Systems without the call at least drop
// the current directory from the search.
void RestrictDllSearchToSystem();

}  // namespace win32paths
