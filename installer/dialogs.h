// The installer's modal dialogs: the licence agreement (template 106), the
// progress dialog (103) and the product information (107). Each is opened
// by its template's id without an owner window, centres itself when it
// opens, and ends with the id (1 or 2) of the command that ended it.
#pragma once

#include <windows.h>

namespace installer {

// Where a window `size` pixels long goes on a screen `screen` pixels long:
// each halved by itself (rounding toward zero) before the subtraction, so
// 301 on 1024 gives 512 - 150 = 362. No clamping: a window larger than the
// screen gets a negative position.
int CenteredPosition(int screen, int size);

// Moves `dialog` to the centre of the primary screen, keeping its size.
void CenterOnScreen(HWND dialog);

// Shows the manifest's licence text, if it has one. Non-zero: go on (the
// licence was accepted, or there is none to show); zero: declined, or the
// dialog could not be created.
BOOL ShowLicense(HINSTANCE instance);

INT_PTR CALLBACK LicenseDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The progress dialog: titles itself, then sends itself the command that
// runs the extraction (installer/extraction.h) and ends the dialog.
INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace installer
