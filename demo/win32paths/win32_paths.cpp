// Long path names and a safe DLL search order, looked up at run time so
// that the programs still start on systems that lack the calls.
#include "demo/win32paths/win32_paths.h"

#include <windows.h>

#include "core/text/bounded_text.h"

namespace win32paths {

namespace {

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? GetProcAddress(kernel, name) : nullptr;
}

}  // namespace

bool LongPathForm(const char* path, char* result, std::size_t size) {
  typedef DWORD(WINAPI * LongPathFunction)(LPCSTR, LPSTR, DWORD);
  const LongPathFunction longPath =
      reinterpret_cast<LongPathFunction>(reinterpret_cast<void*>(Kernel32Function("GetLongPathNameA")));
  if (longPath && path[0] != '\0') {
    const DWORD length = longPath(path, result, static_cast<DWORD>(size));
    if (length > 0 && length < size) return true;
  }
  return text::CopyText(result, size, path);
}

void RestrictDllSearchToSystem() {
  typedef BOOL(WINAPI * DefaultDirectoriesFunction)(DWORD);
  typedef BOOL(WINAPI * DllDirectoryFunction)(LPCSTR);
  const DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  const DefaultDirectoriesFunction setDefault = reinterpret_cast<DefaultDirectoriesFunction>(
      reinterpret_cast<void*>(Kernel32Function("SetDefaultDllDirectories")));
  if (setDefault && setDefault(kSearchSystem32)) return;
  const DllDirectoryFunction setDirectory =
      reinterpret_cast<DllDirectoryFunction>(reinterpret_cast<void*>(Kernel32Function("SetDllDirectoryA")));
  if (setDirectory) setDirectory("");
}

}  // namespace win32paths
