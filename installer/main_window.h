// The program's entry point and its one, never shown, main window, whose
// creation runs the whole installation.
#pragma once

#include <windows.h>

// Global, as the C runtime's start-up code calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

namespace installer {

// WM_CREATE runs the install sequence and answers -1, so the window is
// never made; WM_DESTROY then posts the quit message that ends the loop.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace installer
