// kernel32's profile-string functions over real INI files in the machine. A
// bare file name ("system.ini") lies in the Windows directory.
#include <cerrno>
#include <cstring>

#include "ini_text.h"
#include "machine.h"
#include "open_files.h"

namespace hostwin {

namespace {

std::string ProfilePath(const char* fileName) {
  if (!fileName) return JoinWindowsPath(WindowsDirectory(), "win.ini");
  if (std::strpbrk(fileName, "\\/:") == nullptr) return JoinWindowsPath(WindowsDirectory(), fileName);
  return fileName;
}

// True when writing these would break the file's lines or sections: a line
// break anywhere, ']' in a section name, '=' in a key, or a key that would
// read as a section or a comment. (Windows writes such text as it is and
// spoils the file; the stand-in refuses it.)
bool BreaksIniLines(const char* section, const char* key, const char* value) {
  auto hasBreak = [](const char* text) { return text != nullptr && std::strpbrk(text, "\r\n") != nullptr; };
  if (hasBreak(section) || hasBreak(key) || hasBreak(value)) return true;
  if (std::strchr(section, ']') != nullptr) return true;
  return key != nullptr && (std::strchr(key, '=') != nullptr || key[0] == '[' || key[0] == ';');
}

// A file that cannot be read (missing, or a link) reads as empty, as
// Windows reads a missing profile.
IniText ReadIni(const std::string& windowsPath) {
  std::string text;
  if (!ReadEntry(ResolvePath(windowsPath.c_str()), &text)) text.clear();
  return IniText::Parse(text);
}

}  // namespace

}  // namespace hostwin

using namespace hostwin;

extern "C" {

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName) {
  if (!section) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::string path = ProfilePath(fileName);
  std::string line = "profile " + path + " [" + section + "] ";
  if (BreaksIniLines(section, key, value)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    Emit(line + (key ? std::string(key) : std::string()) + (value ? " = " + Quoted(value) : std::string()) +
         " (refused: it would break the file's lines)");
    return FALSE;
  }
  IniText ini = ReadIni(path);
  if (!key) {
    ini.DeleteSection(section);
    line += "section deleted";
  } else if (!value) {
    ini.DeleteKey(section, key);
    line += std::string(key) + " deleted";
  } else {
    ini.Set(section, key, value);
    line += std::string(key) + " = " + Quoted(value);
  }
  const MachineEntry entry = ResolvePath(path.c_str());
  if (!WriteEntry(entry, ini.Text())) {
    SetLastError(ErrorFromErrno(errno, entry));
    Emit(line + " (failed: the file cannot be written)");
    return FALSE;
  }
  Emit(line);
  return TRUE;
}

DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                                      LPCSTR fileName) {
  if (!buffer || size == 0) return 0;
  IniText ini = ReadIni(ProfilePath(fileName));
  std::string result;
  if (section && key) {
    auto value = ini.Get(section, key);
    if (value) {
      result = *value;
    } else {
      result = defaultValue ? defaultValue : "";
      result.erase(result.find_last_not_of(' ') + 1);  // Windows drops the default's trailing blanks
    }
  } else {
    // A list of names, each NUL-terminated, ended by one more NUL.
    std::string list;
    for (const auto& [sectionName, entry] : ini.Entries()) {
      if (section) {
        if (SameText(sectionName, section)) list += entry.first + '\0';
      } else if (list.find(sectionName + '\0') == std::string::npos) {
        list += sectionName + '\0';
      }
    }
    if (list.size() + 1 > size) list.resize(size >= 2 ? size - 2 : 0);
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    if (list.size() + 1 < size) buffer[list.size() + 1] = '\0';
    return static_cast<DWORD>(list.size());
  }
  if (result.size() >= size) result.resize(size - 1);
  std::memcpy(buffer, result.c_str(), result.size() + 1);
  return static_cast<DWORD>(result.size());
}

}  // extern "C"
