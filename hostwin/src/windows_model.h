// The windows of the running program: top-level windows of registered
// classes, dialogs built from templates, and their controls; the message
// queue; the focus.
//
// Geometry is fixed and documented so that tests can check pixel arithmetic:
// dialog units become pixels with the base units of 8-point "MS Sans Serif"
// at 96 DPI, 6 x 13: x = MulDiv(dlu, 6, 4), y = MulDiv(dlu, 13, 8), rounded
// to nearest as MulDiv does. A dialog's outer rectangle adds its frame: 3
// pixels on each side with DS_MODALFRAME, WS_DLGFRAME or WS_CAPTION (1 for a
// plain WS_BORDER, 4 for WS_THICKFRAME), and a caption 18 pixels high with
// WS_CAPTION. The template's x and y place the outer rectangle's top-left
// corner on the screen (DS_CENTER centres it).
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "hostwin/resources.h"

namespace hostwin {

constexpr int kDialogBaseUnitX = 6;
constexpr int kDialogBaseUnitY = 13;
constexpr int kDialogFrame = 3;   // SM_CXDLGFRAME, SM_CYDLGFRAME
constexpr int kBorder = 1;        // SM_CXBORDER, SM_CYBORDER
constexpr int kSizingFrame = 4;   // WS_THICKFRAME
constexpr int kCaption = 18;      // SM_CYCAPTION
constexpr int kScrollBar = 16;    // SM_CXVSCROLL, SM_CYHSCROLL

enum class WindowKind { kClassed, kDialog, kControl };

struct Window {
  HWND handle = nullptr;
  WindowKind kind = WindowKind::kClassed;
  std::string className;
  WNDPROC procedure = nullptr;      // Classed
  DLGPROC dialogProcedure = nullptr;  // Dialog
  int templateId = 0;               // Dialog
  bool ended = false;               // Dialog: EndDialog was called
  INT_PTR result = 0;               // Dialog: EndDialog's value
  std::string text;
  DWORD style = 0;
  DWORD exStyle = 0;
  int id = 0;                       // Control
  HWND parent = nullptr;
  RECT rect{};                      // outer rect: screen for top-level, parent's client for controls
  bool visible = false;
  // Top-level windows: shown, or a text in it set, since its last paint;
  // UpdateWindow then paints it.
  bool needsPaint = false;
  int selectionStart = 0, selectionEnd = 0;  // edit controls
  std::vector<HWND> children;
};

Window* WindowOf(HWND handle);
HWND CreateWindowObject(const Window& model);
void DestroyWindowObject(HWND handle);

// Calls the window's procedure: the class procedure, the dialog procedure
// with the dialog manager's default handling behind it, or the built-in
// behaviour of a control.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Frame thickness and caption height of a top-level window with `style`.
void FrameOf(DWORD style, DWORD exStyle, int* frameX, int* frameY, int* caption);

int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);

// The posted-message queue shared by every message loop of the thread.
std::deque<MSG>& Queue();
bool QuitPosted(int* exitCode);

// How a window is named in the transcript: "dialog 106" or "window \"CLASS\"".
std::string WindowLabel(const Window& window);

// The focus as the dialog manager sets it: an edit box gets all its text selected.
void DialogSetFocus(HWND control);

}  // namespace hostwin
