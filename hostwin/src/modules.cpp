// kernel32's modules, memory and processes: LoadLibraryA and its companions
// for the two libraries a program may load at run time, LocalAlloc and
// GlobalAlloc with failures the settings ask for, WinExec and ExitProcess.
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include <mmsystem.h>

#include "exit_report.h"
#include "machine.h"
#include "names.h"

namespace hostwin {

namespace {

// Module handles: the program's image at its usual base, and the two system
// libraries at fixed, recognisable values.
const std::uintptr_t kProgramBase = kProgramInstance;
const std::uintptr_t kKernel32Base = 0x7C800000;
const std::uintptr_t kWinmmBase = 0x76B40000;

struct Library {
  const char* name;
  int loads = 0;
};

std::map<std::uintptr_t, Library>& Libraries() {
  static auto& libraries = *new std::map<std::uintptr_t, Library>{
      {kKernel32Base, Library{"kernel32.dll"}}, {kWinmmBase, Library{"winmm.dll"}}};
  return libraries;
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

template <typename Function>
FARPROC AsFarProc(Function* function) {
  // Through void(*)(), the one function pointer type every other converts
  // to without a warning.
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

struct Block {
  void* data;
  std::size_t size;
  bool movable;
  bool global;
  int locks = 0;
};

std::map<std::uintptr_t, Block>& Blocks() {
  static auto& blocks = *new std::map<std::uintptr_t, Block>;
  return blocks;
}

bool CallFails(const std::vector<int>& failing, int call) {
  for (int n : failing)
    if (n == call) return true;
  return false;
}

void* Allocate(UINT flags, SIZE_T bytes, bool global) {
  MachineState& m = Machine();
  int call = global ? ++m.globalAllocCalls : ++m.localAllocCalls;
  if (CallFails(global ? m.settings.failGlobalAllocCalls : m.settings.failLocalAllocCalls, call)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* data = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!data) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  bool movable = (flags & LMEM_MOVEABLE) != 0;
  // A movable block's handle is not its address: a small heap cell that
  // stands for it, so that code which uses the handle unlocked fails.
  void* handle = movable ? std::malloc(1) : data;
  Blocks()[reinterpret_cast<std::uintptr_t>(handle)] = Block{data, bytes, movable, global};
  ++m.liveBlocks;
  return handle;
}

void* Release(void* handle, const char* function) {
  if (!handle) return nullptr;
  auto it = Blocks().find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == Blocks().end()) {
    Loud(std::string(function) + " of a block that is not allocated");
    SetLastError(ERROR_INVALID_HANDLE);
    return handle;
  }
  std::free(it->second.data);
  if (it->second.movable) std::free(handle);
  Blocks().erase(it);
  --Machine().liveBlocks;
  return nullptr;
}

}  // namespace

void ReportMemoryAtExit() {
  int live = Machine().liveBlocks;
  if (live > 0) Emit("memory: " + std::to_string(live) + (live == 1 ? " block" : " blocks") + " not freed at exit");
}

void ReportLibrariesAtExit() {
  for (const auto& [base, library] : Libraries())
    if (library.loads > 0)
      Emit(std::string("library ") + library.name + " still loaded at exit (" + std::to_string(library.loads) +
           " LoadLibraryA without FreeLibrary)");
}

bool MediaLibraryLoaded() { return Libraries()[kWinmmBase].loads > 0; }

}  // namespace hostwin

using namespace hostwin;

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
  if (!name) return reinterpret_cast<HMODULE>(kProgramBase);
  if (SameText(BaseName(name), "kernel32.dll") || SameText(BaseName(name), "kernel32"))
    return reinterpret_cast<HMODULE>(kKernel32Base);
  if (SameText(BaseName(name), "winmm.dll") && MediaLibraryLoaded()) return reinterpret_cast<HMODULE>(kWinmmBase);
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (!name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string base = BaseName(name);
  const std::string directory = DirectoryOf(name);
  std::uintptr_t module = 0;
  if (SameText(base, "kernel32.dll") || SameText(base, "kernel32")) {
    // A known system library: Windows takes it from the system directory
    // whatever path is asked for.
    module = kKernel32Base;
  } else if (SameText(base, "winmm.dll") || SameText(base, "winmm")) {
    // Not a known library: by a bare name Windows would search the program's
    // own folder first, where a planted copy could be picked up.
    if (directory.empty() || !SameText(directory, SystemDirectory())) {
      Loud(std::string("LoadLibraryA ") + Quoted(name) + " refused: not a full path in the system directory " +
           SystemDirectory());
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    module = kWinmmBase;
  } else {
    Emit(std::string("LoadLibraryA ") + Quoted(name) + " = NULL (no such library on this machine)");
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++Libraries()[module].loads;
  return reinterpret_cast<HMODULE>(module);
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  const auto base = reinterpret_cast<std::uintptr_t>(module);
  if (name && !IS_INTRESOURCE(name)) {
    if (base == kKernel32Base) {
      if (std::strcmp(name, "GetDiskFreeSpaceExA") == 0 &&
          Machine().settings.freeSpaceExQuery != MachineSettings::FreeSpaceExQuery::kMissing)
        return AsFarProc(&GetDiskFreeSpaceExA);
      if (std::strcmp(name, "GetDiskFreeSpaceA") == 0) return AsFarProc(&GetDiskFreeSpaceA);
    } else if (base == kWinmmBase && MediaLibraryLoaded()) {
      if (std::strcmp(name, "mciSendCommandA") == 0) return AsFarProc(&mciSendCommandA);
    } else if (base != kProgramBase) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  auto it = Libraries().find(reinterpret_cast<std::uintptr_t>(module));
  if (it == Libraries().end() || it->second.loads == 0) {
    Loud("FreeLibrary of a library that is not loaded");
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  --it->second.loads;
  return TRUE;
}

HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T bytes) { return Allocate(flags, bytes, false); }
HLOCAL WINAPI LocalFree(HLOCAL memory) { return Release(memory, "LocalFree"); }
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) { return Allocate(flags, bytes, true); }
HGLOBAL WINAPI GlobalFree(HGLOBAL memory) { return Release(memory, "GlobalFree"); }

LPVOID WINAPI GlobalLock(HGLOBAL memory) {
  auto it = Blocks().find(reinterpret_cast<std::uintptr_t>(memory));
  if (it == Blocks().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (it->second.movable) ++it->second.locks;
  return it->second.data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL memory) {
  auto it = Blocks().find(reinterpret_cast<std::uintptr_t>(memory));
  if (it == Blocks().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (it->second.locks > 0) --it->second.locks;
  SetLastError(NO_ERROR);
  return it->second.locks > 0;
}

UINT WINAPI WinExec(LPCSTR commandLine, UINT show) {
  std::string command = commandLine ? commandLine : "";
  // The program is the first word, or the text in quotes at the front.
  std::string program;
  if (!command.empty() && command[0] == '"') {
    program = command.substr(1, command.find('"', 1) == std::string::npos ? std::string::npos : command.find('"', 1) - 1);
  } else {
    program = command.substr(0, command.find(' '));
  }
  UINT result = 33;  // above 31: started
  struct stat st;
  if (program.empty() || !IsMachinePath(program.c_str()) || !StatEntry(ResolvePath(program.c_str()), &st) ||
      S_ISDIR(st.st_mode))
    result = ERROR_FILE_NOT_FOUND;
  Emit("WinExec " + Quoted(command) + " " + ShowCommandName(static_cast<int>(show)) + " = " + std::to_string(result));
  return result;
}

void WINAPI ExitProcess(UINT exitCode) { ExitProgram(static_cast<int>(exitCode)); }

// The host's local time; its date replaced by the machine's LocalDate when
// one is set (the day of the week then computed for that date).
void WINAPI GetLocalTime(LPSYSTEMTIME time) {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  tm local;
  localtime_r(&now.tv_sec, &local);
  int year = local.tm_year + 1900, month = local.tm_mon + 1, day = local.tm_mday;
  const std::string& date = Machine().settings.localDate;
  if (!date.empty() && ParseLocalDate(date, &year, &month, &day)) {
    tm noon = {};
    noon.tm_year = year - 1900;
    noon.tm_mon = month - 1;
    noon.tm_mday = day;
    noon.tm_hour = 12;
    timegm(&noon);  // fills tm_wday
    local.tm_wday = noon.tm_wday;
  }
  time->wYear = static_cast<WORD>(year);
  time->wMonth = static_cast<WORD>(month);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(day);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

}  // extern "C"
