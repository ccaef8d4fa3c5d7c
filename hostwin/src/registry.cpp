// advapi32's registry functions over the machine's registry.reg, which is
// read when the program first touches the registry and written back after
// every change.
#include <cstring>

#include "machine.h"
#include "registry_file.h"

namespace hostwin {

namespace {

struct Registry {
  bool loaded = false;
  RegistryTree tree;
  std::map<std::uintptr_t, std::string> handles;  // open key -> upper-cased path
  std::uintptr_t nextHandle = 0x2000;
};

Registry& Reg() {
  static Registry registry;
  if (!registry.loaded) {
    registry.loaded = true;
    // A registry.reg that cannot be read (a link among them) is an empty
    // registry, and writing it back fails as quietly as any other write.
    std::string text;
    if (!ReadEntry(MachineFolderFile(Machine().folder, "registry.reg"), &text)) text.clear();
    registry.tree = ParseRegistryText(text);
  }
  return registry;
}

void Save() {
  WriteEntry(MachineFolderFile(Machine().folder, "registry.reg"), RegistryText(Reg().tree));
}

const char* RootName(HKEY key) {
  switch (static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(key))) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    case 0x80000005u: return "HKEY_CURRENT_CONFIG";
    default: return nullptr;
  }
}

// The path of an open or predefined key, case as created; empty when `key`
// is not a key.
std::string PathOf(HKEY key) {
  if (key == HKEY_CURRENT_USER) {
    const std::string hive = CurrentUserHive();
    auto it = Reg().tree.find(UpperCase(hive));
    return it == Reg().tree.end() ? hive : it->second.path;
  }
  if (const char* root = RootName(key)) {
    auto it = Reg().tree.find(root);
    return it == Reg().tree.end() ? root : it->second.path;
  }
  auto handle = Reg().handles.find(reinterpret_cast<std::uintptr_t>(key));
  if (handle == Reg().handles.end()) return "";
  auto it = Reg().tree.find(handle->second);
  return it == Reg().tree.end() ? "" : it->second.path;
}

RegistryKey* KeyOf(HKEY key) {
  std::string path = PathOf(key);
  if (path.empty()) return nullptr;
  auto it = Reg().tree.find(UpperCase(path));
  if (it != Reg().tree.end()) return &it->second;
  if (RootName(key)) {  // roots always exist
    RegistryKey& root = Reg().tree[UpperCase(path)];
    root.path = path;
    return &root;
  }
  return nullptr;
}

// Splits "A\B\C" into its names; false for a leading backslash or an empty
// name inside. A trailing backslash is ignored.
bool SplitSubKey(const char* subKey, std::vector<std::string>* names) {
  if (!subKey) return true;
  if (subKey[0] == '\\') return false;
  std::string name;
  std::string text = subKey;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\\') {
      if (name.empty() && i != text.size()) return false;
      if (!name.empty()) names->push_back(name);
      name.clear();
    } else {
      name += text[i];
    }
  }
  return true;
}

// Stores `value` under its name (compared without regard to case), in place
// of an existing value of that name, and writes the registry file back.
void StoreValue(RegistryKey& key, const RegistryValue& value) {
  bool replaced = false;
  for (RegistryValue& existing : key.values) {
    if (SameText(existing.name, value.name)) {
      existing = value;
      replaced = true;
    }
  }
  if (!replaced) key.values.push_back(value);
  Save();
}

// The path below `key` that `subKey` names, with the case of its names as
// given; an error code when the key or the names are not usable.
LONG SubKeyPath(HKEY key, LPCSTR subKey, bool needsName, std::vector<std::string>* names,
                std::string* basePath) {
  RegistryKey* base = KeyOf(key);
  if (!base) return ERROR_INVALID_HANDLE;
  if (!SplitSubKey(subKey, names) || (needsName && names->empty())) return ERROR_BAD_PATHNAME;
  *basePath = base->path;
  return ERROR_SUCCESS;
}

HKEY NewHandle(const std::string& upperPath) {
  std::uintptr_t value = Reg().nextHandle++;
  Reg().handles[value] = upperPath;
  return reinterpret_cast<HKEY>(value);
}

}  // namespace

std::string CurrentUserHive() { return "HKEY_USERS\\" + Machine().account; }

void ForgetRegistry() {
  Registry& registry = Reg();
  registry.loaded = false;
  registry.tree.clear();
}

// Sets a value without a transcript line: the system's own settings
// (SystemParametersInfoA with SPIF_UPDATEINIFILE).
void SetSystemRegistryString(const std::string& path, const std::string& name, const std::string& text) {
  RegistryKey& key = Reg().tree[UpperCase(path)];
  if (key.path.empty()) key.path = path;
  RegistryValue value{name, REG_SZ, std::vector<unsigned char>(text.begin(), text.end())};
  value.data.push_back(0);
  StoreValue(key, value);
}

// Appends strings to a REG_MULTI_SZ value (created when missing), without a
// transcript line: the system's own records (MoveFileExA's moves at the
// next start).
void AppendSystemRegistryMultiString(const std::string& path, const std::string& name,
                                     const std::vector<std::string>& strings) {
  RegistryKey& key = Reg().tree[UpperCase(path)];
  if (key.path.empty()) key.path = path;
  RegistryValue value{name, REG_MULTI_SZ, {}};
  for (const RegistryValue& existing : key.values)
    if (SameText(existing.name, name) && existing.type == REG_MULTI_SZ) value.data = existing.data;
  if (!value.data.empty()) value.data.pop_back();  // the list's final terminator
  for (const std::string& text : strings) {
    value.data.insert(value.data.end(), text.begin(), text.end());
    value.data.push_back(0);
  }
  value.data.push_back(0);
  StoreValue(key, value);
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*keyClass*/, DWORD /*options*/,
                            REGSAM /*access*/, LPSECURITY_ATTRIBUTES /*security*/, PHKEY result,
                            LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::string> names;
  std::string path;
  if (LONG error = SubKeyPath(key, subKey, false, &names, &path)) return error;
  bool created = false;
  for (const std::string& name : names) {
    path += "\\" + name;
    RegistryKey& k = Reg().tree[UpperCase(path)];
    if (k.path.empty()) {
      k.path = path;
      created = true;
    } else {
      path = k.path;
    }
  }
  if (created) Save();
  Emit("registry create " + path + (created ? " = created" : " = opened"));
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewHandle(UpperCase(path));
  return ERROR_SUCCESS;
}

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM /*access*/, PHKEY result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::string> names;
  std::string path;
  if (LONG error = SubKeyPath(key, subKey, false, &names, &path)) return error;
  for (const std::string& name : names) path += "\\" + name;
  if (Reg().tree.find(UpperCase(path)) == Reg().tree.end()) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(UpperCase(path));
  return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                           DWORD size) {
  RegistryKey* k = KeyOf(key);
  if (!k) return ERROR_INVALID_HANDLE;
  if (!data && size > 0) return 998;  // ERROR_NOACCESS
  RegistryValue value{valueName ? valueName : "", type, std::vector<unsigned char>(data, data + size)};
  StoreValue(*k, value);
  std::string line = "registry set " + k->path + " " + (value.name.empty() ? "@" : Quoted(value.name)) + " " +
                     DescribeRegistryData(type, value.data);
  if (type == REG_SZ || type == REG_EXPAND_SZ) line += " " + std::to_string(size) + " bytes";
  Emit(line);
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD /*reserved*/, LPDWORD type, LPBYTE data,
                             LPDWORD size) {
  RegistryKey* k = KeyOf(key);
  if (!k) return ERROR_INVALID_HANDLE;
  std::string name = valueName ? valueName : "";
  for (const RegistryValue& v : k->values) {
    if (!SameText(v.name, name)) continue;
    if (type) *type = v.type;
    DWORD needed = static_cast<DWORD>(v.data.size());
    if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    if (data && *size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (data && needed) std::memcpy(data, v.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
  std::vector<std::string> names;
  std::string path;
  if (LONG error = SubKeyPath(key, subKey, true, &names, &path)) return error;
  for (const std::string& name : names) path += "\\" + name;
  std::string upper = UpperCase(path);
  auto it = Reg().tree.find(upper);
  if (it == Reg().tree.end()) return ERROR_FILE_NOT_FOUND;
  auto sub = Reg().tree.lower_bound(upper + "\\");
  if (sub != Reg().tree.end() && sub->first.compare(0, upper.size() + 1, upper + "\\") == 0)
    return ERROR_ACCESS_DENIED;  // it still has subkeys
  path = it->second.path;
  Reg().tree.erase(it);
  Save();
  Emit("registry delete " + path);
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
  RegistryKey* k = KeyOf(key);
  if (!k) return ERROR_INVALID_HANDLE;
  const std::string name = valueName ? valueName : "";
  for (auto it = k->values.begin(); it != k->values.end(); ++it) {
    if (!SameText(it->name, name)) continue;
    k->values.erase(it);
    Save();
    Emit("registry delete " + k->path + " " + (name.empty() ? "@" : Quoted(name)));
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI RegCloseKey(HKEY key) {
  if (RootName(key)) return ERROR_SUCCESS;
  return Reg().handles.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // extern "C"
