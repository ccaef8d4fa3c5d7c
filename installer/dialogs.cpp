// Dialog procedures, the centring rule and the licence dialog's text block.
#include "installer/dialogs.h"

#include "installer/composed_text.h"
#include "installer/installer_state.h"
#include "installer/installer_texts.h"
#include "core/text/bounded_text.h"
#include "core/format/manifest_header.h"
#include "installer/extraction.h"
#include "installer/own_image.h"
#include "installer/own_manifest.h"
#include "installer/resources/resource_ids.h"
#include "installer/run_log.h"

namespace installer {

using format::ManifestHeaderTargets;
using format::ReadManifestHeader;

namespace {

// The whole wParam is compared, so only commands with notification code 0
// qualify: button clicks, Enter (the default button), Escape and the close
// box (IDCANCEL).
bool IsEndingCommand(WPARAM command) { return command == IDOK || command == IDCANCEL; }

INT_PTR EndOnCommand(HWND dialog, WPARAM command) {
  if (!IsEndingCommand(command)) return FALSE;
  EndDialog(dialog, static_cast<INT_PTR>(command));
  return TRUE;
}

INT_PTR OnLicenseInitDialog(HWND dialog, const char* text) {
  SetDlgItemTextA(dialog, IDC_LICENSE_TEXT, text);
  CenterOnScreen(dialog);
  HWND textBox = GetDlgItem(dialog, IDC_LICENSE_TEXT);
  SetFocus(textBox);
  // Posted, not sent: it takes effect after the initialisation and leaves
  // the text unselected with the caret in the box.
  PostMessageA(textBox, EM_SETSEL, static_cast<WPARAM>(-1), 0);
  return FALSE;  // the focus has been placed
}

INT_PTR OnInfoInitDialog(HWND dialog) {
  CenterOnScreen(dialog);
  return TRUE;  // focus to the first tab stop, the OK button
}

INT_PTR OnInstallInitDialog(HWND dialog) {
  char text[kCaptionSize];
  FormatWithTitle(text, sizeof text, kInstallerCaptionFormat, ScreenSaverTitle);
  SetWindowTextA(dialog, text);
  FormatWithTitle(text, sizeof text, kTitleLineFormat, ScreenSaverTitle);
  SetDlgItemTextA(dialog, IDC_TITLE_LINE, text);
  CenterOnScreen(dialog);
  // As if the hidden OK button had been clicked; taken from the dialog's
  // own message loop once it has opened.
  PostMessageA(dialog, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
  return TRUE;
}

INT_PTR OnInstallCommand(HWND dialog, WPARAM command) {
  if (!IsEndingCommand(command)) return FALSE;
  // The posted command is taken before the dialog's first WM_PAINT, and the
  // extraction lets no message through: painted now, or it stays blank.
  UpdateWindow(dialog);
  RunExtraction({InstanceHandle, ScreenSaverTitle, ScreenSaverFileName, InstallTotalBytes},
                &Extracted);
  EndDialog(dialog, static_cast<INT_PTR>(command));
  return TRUE;
}

// Shows the licence dialog over `text`; true when it was accepted.
// Under /S the licence counts as accepted, without a dialog; the log says so.
bool AskToAccept(HINSTANCE instance, const char* text) {
  if (Switches.silent) {
    LogLine("licence accepted (/S)");
    return true;
  }
  const INT_PTR answer = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_LICENSE), nullptr,
                                         LicenseDlgProc, reinterpret_cast<LPARAM>(text));
  LogLine("licence %s", answer == IDOK ? "accepted" : answer == -1 ? "dialog cannot be created" : "declined");
  return answer == IDOK;
}

}  // namespace

int CenteredPosition(int screen, int size) { return screen / 2 - size / 2; }

void CenterOnScreen(HWND dialog) {
  RECT frame;
  GetWindowRect(dialog, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  MoveWindow(dialog, CenteredPosition(GetSystemMetrics(SM_CXSCREEN), width),
             CenteredPosition(GetSystemMetrics(SM_CYSCREEN), height), width, height, FALSE);
}

// The licence text's block: zero-filled and one byte longer than the text,
// so the text is always terminated (also where it holds a zero byte of its
// own).
struct LicenseBlock {
  HGLOBAL block = nullptr;
  char* text = nullptr;
};

char* AllocateLicenseText(std::uint16_t length, void* context) {
  LicenseBlock& license = *static_cast<LicenseBlock*>(context);
  license.block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(length) + 1);
  if (license.block != nullptr) license.text = static_cast<char*>(GlobalLock(license.block));
  return license.text;
}

BOOL ShowLicense(HINSTANCE instance) {
  // Every failure to obtain the text counts as acceptance: only a shown
  // dialog can decline.
  HFILE manifest = OpenPayloadManifest();
  if (manifest == HFILE_ERROR) return TRUE;
  LicenseBlock license;
  ManifestHeaderTargets targets;
  targets.keepLicense = true;
  targets.licenseBuffer = AllocateLicenseText;
  targets.licenseContext = &license;
  LopenManifestCursor cursor(manifest);
  std::uint16_t length = 0;
  const bool read = ReadManifestHeader(cursor, targets, &length);
  BOOL accepted = TRUE;
  if (read && license.text != nullptr) accepted = AskToAccept(instance, license.text);
  if (license.text != nullptr) GlobalUnlock(license.block);
  if (license.block != nullptr) GlobalFree(license.block);
  _lclose(manifest);
  return accepted;
}

INT_PTR CALLBACK LicenseDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: return OnLicenseInitDialog(dialog, reinterpret_cast<const char*>(lParam));
    case WM_COMMAND: return EndOnCommand(dialog, wParam);
    default: return FALSE;
  }
}

INT_PTR CALLBACK InfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInfoInitDialog(dialog);
    case WM_COMMAND: return EndOnCommand(dialog, wParam);
    default: return FALSE;
  }
}

INT_PTR CALLBACK InstallDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInstallInitDialog(dialog);
    case WM_COMMAND: return OnInstallCommand(dialog, wParam);
    default: return FALSE;
  }
}

}  // namespace installer
