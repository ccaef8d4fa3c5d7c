// UNINSTAL.EXE's entry, callable as a WinMain: on Windows the program's
// entry point (windows_main.cpp) calls it; elsewhere the Win32 stand-in runs
// it as the program of an installed UNINSTAL.EXE and of its copies.
#pragma once

#include <windows.h>

namespace uninstaller {

int Main(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

}  // namespace uninstaller
