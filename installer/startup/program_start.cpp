// The entry point of a small Windows program, in place of the C runtime's
// start-up code: the programs link with -nostartfiles, so that none of that
// code (argument splitting, pseudo-relocations, TLS callbacks, its error and
// floating-point handlers) is carried. msvcrt.dll sets itself up when it is
// loaded, so its functions work without it.
//
// It does what the runtime's start did for WinMain: runs the static
// constructors (the programs have none today; the list is kept working),
// passes the module, the arguments after the program's name and the show
// command the starting process asked for, and ends through the C runtime's
// exit, which flushes any open stream.
#include <windows.h>

#include <cstdlib>

#include "installer/command_line.h"

// Filled by the linker's default script: -1, the constructors, 0.
extern "C" void (*__CTOR_LIST__[])();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

namespace {

void RunStaticConstructors() {
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  // In reverse order, as the runtime runs them.
  for (; count > 0; --count) __CTOR_LIST__[count]();
}

}  // namespace

// Windows starts a program with a stack aligned to 4 bytes only; the
// compiler may assume 16 for its spills of vector registers.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void ProgramStart() {
  RunStaticConstructors();
  STARTUPINFOA startup;
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
  const char* arguments = installer::SkipProgramName(GetCommandLineA());
  std::exit(WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(arguments), showCommand));
}
