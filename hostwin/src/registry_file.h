// The registry of the machine as REGEDIT4 text:
//
//   REGEDIT4
//
//   [HKEY_LOCAL_MACHINE\Software\Example]
//   "Name"="text, with \\ and \" escaped, control characters as \x0d"
//   @="the key's default value"
//   "Count"=dword:0000002a
//   "Raw"=hex:01,02,ff
//   "Other"=hex(7):41,00,00
//
// Every key has its own block, keys in order of their upper-cased paths; a
// key read without its parents gets them. In a key path, control characters
// and '%' are written %XX, so that no name can end the line or start
// another key. A
// REG_SZ value is written as a string when its data is the text and exactly
// one terminating NUL; any other REG_SZ data (no NUL, or more) is written as
// hex(1) so that the stored length survives the round trip.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace hostwin {

struct RegistryValue {
  std::string name;  // "" is the default value
  DWORD type = REG_NONE;
  std::vector<unsigned char> data;
};

struct RegistryKey {
  std::string path;  // "HKEY_LOCAL_MACHINE\Software\Example", case as created
  std::vector<RegistryValue> values;
};

using RegistryTree = std::map<std::string, RegistryKey>;  // by upper-cased path

RegistryTree ParseRegistryText(const std::string& text);
std::string RegistryText(const RegistryTree& tree);

// REG_SZ "text" / REG_DWORD 0x0000002a / REG_BINARY 01 02 ff / type N ...
std::string DescribeRegistryData(DWORD type, const std::vector<unsigned char>& data);

}  // namespace hostwin
