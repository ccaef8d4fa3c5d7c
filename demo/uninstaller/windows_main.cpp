// UNINSTAL.EXE's entry point, in place of the C runtime's start-up code:
// the program needs none of it (no stdio, no heap, no static constructors,
// no atexit; the msvcrt functions it calls need no set-up), and leaving it
// out keeps the program small. It reads the command line as the runtime's
// WinMain start-up does (the program's name, quoted or not, and the blanks
// after it skipped) and ends the process with uninstaller::Main's code.
#include "demo/uninstaller/uninstaller.h"

extern "C" void WINAPI UninstallerStart() {
  char* line = GetCommandLineA();
  bool quoted = false;
  for (; *line != '\0' && (quoted || (*line != ' ' && *line != '\t')); ++line)
    if (*line == '"') quoted = !quoted;
  while (*line == ' ' || *line == '\t') ++line;
  ExitProcess(static_cast<UINT>(uninstaller::Main(GetModuleHandleA(nullptr), nullptr, line, SW_SHOWDEFAULT)));
}
