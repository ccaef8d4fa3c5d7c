// Names of Win32 constants for transcript lines.
#include "names.h"

#include <mmsystem.h>

#include <cstdio>

namespace hostwin {

std::string ShowCommandName(int show) {
  static const char* const kNames[] = {"SW_HIDE",        "SW_SHOWNORMAL",      "SW_SHOWMINIMIZED", "SW_SHOWMAXIMIZED",
                                       "SW_SHOWNOACTIVATE", "SW_SHOW",         "SW_MINIMIZE",      "SW_SHOWMINNOACTIVE",
                                       "SW_SHOWNA",      "SW_RESTORE",         "SW_SHOWDEFAULT"};
  if (show >= 0 && show <= 10) return kNames[show];
  return "show " + std::to_string(show);
}

std::string MessageBoxStyleName(UINT style) {
  static const char* const kButtons[] = {"MB_OK",    "MB_OKCANCEL",    "MB_ABORTRETRYIGNORE",
                                         "MB_YESNOCANCEL", "MB_YESNO", "MB_RETRYCANCEL"};
  static const char* const kIcons[] = {"", "MB_ICONHAND", "MB_ICONQUESTION", "MB_ICONEXCLAMATION", "MB_ICONINFORMATION"};
  std::string name;
  UINT buttons = style & MB_TYPEMASK;
  name = buttons <= 5 ? kButtons[buttons] : "MB_TYPE" + std::to_string(buttons);
  UINT icon = (style & MB_ICONMASK) >> 4;
  if (icon >= 1 && icon <= 4) name += std::string("|") + kIcons[icon];
  else if (icon) name += "|MB_ICON" + std::to_string(icon);
  UINT def = (style & MB_DEFMASK) >> 8;
  if (def) name += "|MB_DEFBUTTON" + std::to_string(def + 1);
  UINT rest = style & ~(MB_TYPEMASK | MB_ICONMASK | MB_DEFMASK);
  struct Flag { UINT bit; const char* name; };
  static const Flag kFlags[] = {{MB_SYSTEMMODAL, "MB_SYSTEMMODAL"}, {MB_TASKMODAL, "MB_TASKMODAL"},
                                {MB_SETFOREGROUND, "MB_SETFOREGROUND"}, {MB_TOPMOST, "MB_TOPMOST"}};
  for (const Flag& f : kFlags) {
    if (rest & f.bit) {
      name += std::string("|") + f.name;
      rest &= ~f.bit;
    }
  }
  if (rest) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "|0x%X", rest);
    name += hex;
  }
  return name;
}

std::string DialogResultName(int result) {
  static const char* const kNames[] = {"", "IDOK", "IDCANCEL", "IDABORT", "IDRETRY", "IDIGNORE", "IDYES", "IDNO"};
  if (result >= 1 && result <= 7) return kNames[result];
  return std::to_string(result);
}

std::string McIErrorName(DWORD error) {
  struct Name { DWORD code; const char* name; };
  static const Name kNames[] = {
      {MCIERR_INVALID_DEVICE_ID, "MCIERR_INVALID_DEVICE_ID"},
      {MCIERR_UNRECOGNIZED_COMMAND, "MCIERR_UNRECOGNIZED_COMMAND"},
      {MCIERR_INVALID_DEVICE_NAME, "MCIERR_INVALID_DEVICE_NAME"},
      {MCIERR_MISSING_PARAMETER, "MCIERR_MISSING_PARAMETER"},
      {MCIERR_UNSUPPORTED_FUNCTION, "MCIERR_UNSUPPORTED_FUNCTION"},
      {MCIERR_FILE_NOT_FOUND, "MCIERR_FILE_NOT_FOUND"},
      {MCIERR_EXTENSION_NOT_FOUND, "MCIERR_EXTENSION_NOT_FOUND"},
      {MCIERR_INVALID_FILE, "MCIERR_INVALID_FILE"},
  };
  if (error == 0) return "0";
  for (const Name& n : kNames)
    if (n.code == error) return std::to_string(error) + " " + n.name;
  return std::to_string(error);
}

std::string CursorName(std::uintptr_t id) {
  switch (id) {
    case 32512: return "IDC_ARROW";
    case 32513: return "IDC_IBEAM";
    case 32514: return "IDC_WAIT";
    case 32650: return "IDC_APPSTARTING";
    default: return "cursor " + std::to_string(id);
  }
}

}  // namespace hostwin
