// UNINSTAL.EXE's WinMain (uninstaller.h).
#include "demo/uninstaller/uninstaller.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand) {
  return uninstaller::Main(instance, previousInstance, commandLine, showCommand);
}
