// The program's own file on Windows, asked of the loader in UTF-16 so that
// any folder name works (up to the long-path limit of 32,767 characters).
#include "tools/own_executable.h"

#include <windows.h>

#include <iterator>
#include <string>

namespace tools {

std::filesystem::path OwnExecutable() {
  static wchar_t path[32768];
  const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  if (length == 0 || length >= std::size(path)) return std::filesystem::path();
  return std::filesystem::path(std::wstring(path, length));
}

}  // namespace tools
