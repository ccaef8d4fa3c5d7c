// The system's settings and shell: ShellExecuteA as the settings answer it,
// SystemParametersInfoA for the screen saver switch (kept in the registry),
// the screen metrics, stock objects and system cursors.
#include <shellapi.h>

#include <cstdio>

#include "machine.h"
#include "names.h"

namespace hostwin {

void SetSystemRegistryString(const std::string& path, const std::string& name, const std::string& text);

namespace {

// Below the running account's hive.
const char kDesktopKey[] = "\\Control Panel\\Desktop";

// Handles of system cursors carry their id: 0x10000 + id.
constexpr std::uintptr_t kCursorBase = 0x10000;
constexpr std::uintptr_t kStockBase = 0x3000;

HCURSOR& CurrentCursor() {
  static HCURSOR cursor = nullptr;
  return cursor;
}

std::string UpdateFlagsName(UINT flags) {
  if (flags == 0) return "0";
  std::string name;
  if (flags & SPIF_UPDATEINIFILE) name += "SPIF_UPDATEINIFILE";
  if (flags & SPIF_SENDCHANGE) name += std::string(name.empty() ? "" : "|") + "SPIF_SENDCHANGE";
  if (flags & ~3u) name += (name.empty() ? "" : "|") + std::to_string(flags & ~3u);
  return name;
}

}  // namespace

}  // namespace hostwin

using namespace hostwin;

extern "C" {

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT show) {
  int result = Machine().settings.shellExecuteResult;
  std::string line = "ShellExecuteA " + (verb ? Quoted(verb) : std::string("NULL")) + " " +
                     (file ? Quoted(file) : std::string("NULL"));
  if (owner) line += " owner";
  if (parameters) line += " params " + Quoted(parameters);
  if (directory) line += " dir " + Quoted(directory);
  line += " " + ShowCommandName(show) + " = " + std::to_string(result);
  Emit(line);
  return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(result));
}

BOOL WINAPI SystemParametersInfoA(UINT action, UINT param, PVOID data, UINT winIni) {
  if (action == SPI_SETSCREENSAVEACTIVE) {
    Emit("SystemParametersInfoA SPI_SETSCREENSAVEACTIVE " + std::to_string(param) + " " + UpdateFlagsName(winIni) +
         " = TRUE");
    if (winIni & SPIF_UPDATEINIFILE) SetSystemRegistryString(CurrentUserHive() + kDesktopKey, "ScreenSaveActive", param ? "1" : "0");
    return TRUE;
  }
  if (action == SPI_GETSCREENSAVEACTIVE && data) {
    HKEY key = nullptr;
    char value[8] = "0";
    DWORD size = sizeof value;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &key) == ERROR_SUCCESS) {
      RegQueryValueExA(key, "ScreenSaveActive", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
      RegCloseKey(key);
    }
    *static_cast<BOOL*>(data) = value[0] == '1';
    return TRUE;
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04X", action);
  Emit(std::string("SystemParametersInfoA ") + hex + " " + std::to_string(param) + " " + UpdateFlagsName(winIni) +
       " = FALSE (not supported)");
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

HGDIOBJ WINAPI GetStockObject(int object) {
  if (object < WHITE_BRUSH || object > NULL_BRUSH) return nullptr;
  return reinterpret_cast<HGDIOBJ>(kStockBase + static_cast<std::uintptr_t>(object));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
  // Only the system's cursors: the program has no cursor resources.
  auto id = reinterpret_cast<std::uintptr_t>(name);
  if (instance || !IS_INTRESOURCE(name) || CursorName(id).compare(0, 4, "IDC_") != 0) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<HCURSOR>(kCursorBase + id);
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
  HCURSOR previous = CurrentCursor();
  CurrentCursor() = cursor;
  auto value = reinterpret_cast<std::uintptr_t>(cursor);
  Emit(cursor ? "cursor " + CursorName(value - kCursorBase) : std::string("cursor none"));
  return previous;
}

}  // extern "C"
