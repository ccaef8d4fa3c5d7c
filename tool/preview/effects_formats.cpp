// The forms saverkit preview --effects prints an installation's effects in:
// JSON for scripts, a REGEDIT4 file for regedit, and text for people.
#include <windows.h>

#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "saverkit/text.h"
#include "hostwin/transcript.h"
#include "tool/preview/effects.h"

namespace preview {

namespace {

using nlohmann::ordered_json;

// Names and data are Windows-1252 bytes as the program wrote them; JSON
// wants UTF-8.
std::string Utf8Of(const std::string& bytes) { return saverkit::Windows1252ToUtf8(bytes); }

std::string TypeName(std::uint32_t type) {
  static const char* const kNames[] = {"REG_NONE",  "REG_SZ",   "REG_EXPAND_SZ",        "REG_BINARY",
                                       "REG_DWORD", "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ"};
  return type < sizeof kNames / sizeof kNames[0] ? kNames[type] : "type " + std::to_string(type);
}

std::string HexBytes(const std::vector<unsigned char>& data, const char* separator) {
  std::string hex;
  char two[3];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(two, sizeof two, "%02x", data[i]);
    hex += (i == 0 ? "" : separator) + std::string(two);
  }
  return hex;
}

std::uint32_t DwordOf(const std::vector<unsigned char>& data) {
  return data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

// A REG_SZ that is its text and exactly one NUL, with nothing a quoted
// REGEDIT4 string cannot hold (a control character would break its line).
bool IsPlainString(const RegistryEffect& value) {
  if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < value.data.size(); ++i)
    if (value.data[i] < 0x20) return false;
  return true;
}

std::string TextOf(const std::vector<unsigned char>& data) {
  std::string text(data.begin(), data.end());
  return text.substr(0, text.find('\0'));
}

ordered_json RegistryJson(const RegistryEffect& value) {
  ordered_json item = {{"change", ChangeWord(value.change)}, {"key", Utf8Of(value.key)}};
  if (value.isKey) {
    item["name"] = nullptr;
    item["kind"] = "key";
    return item;
  }
  item["name"] = Utf8Of(value.name);  // "" is the key's default value
  item["kind"] = "value";
  if (value.change == EffectChange::kRemoved) return item;
  item["type"] = TypeName(value.type);
  if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) item["value"] = Utf8Of(TextOf(value.data));
  else if (value.type == REG_DWORD && value.data.size() == 4) item["value"] = DwordOf(value.data);
  item["data"] = HexBytes(value.data, "");
  return item;
}

// A REGEDIT4 quoted string: backslash and quote escaped, the bytes as they
// are (REGEDIT4 files are in the system's code page).
std::string QuotedReg(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

// A key path that a [..] line can hold: no line break or other control
// character.
bool IsPrintableKey(const std::string& key) {
  for (unsigned char c : key)
    if (c < 0x20) return false;
  return !key.empty();
}

std::string RegLine(const RegistryEffect& value) {
  const std::string name = value.name.empty() ? "@" : QuotedReg(value.name);
  if (value.change == EffectChange::kRemoved) return name + "=-";
  if (IsPlainString(value)) return name + "=" + QuotedReg(TextOf(value.data));
  if (value.type == REG_DWORD && value.data.size() == 4) {
    char dword[9];
    std::snprintf(dword, sizeof dword, "%08x", DwordOf(value.data));
    return name + "=dword:" + dword;
  }
  const std::string kind = value.type == REG_BINARY ? "hex" : "hex(" + std::to_string(value.type) + ")";
  return name + "=" + kind + ":" + HexBytes(value.data, ",");
}

std::string Printable(const std::string& text) { return hostwin::TranscriptText(text); }

}  // namespace

std::string EffectsJson(const InstallationEffects& effects) {
  ordered_json files = ordered_json::array();
  ordered_json folders = ordered_json::array();
  for (const FileEffect& file : effects.files) {
    ordered_json item = {{"change", ChangeWord(file.change)}, {"path", Utf8Of(file.path)}};
    if (file.directory) {
      folders.push_back(item);
      continue;
    }
    const bool present = file.change != EffectChange::kRemoved && !file.sha256.empty();
    item["size"] = present ? ordered_json(file.size) : ordered_json(nullptr);
    item["sha256"] = present ? ordered_json(file.sha256) : ordered_json(nullptr);
    files.push_back(item);
  }
  ordered_json registry = ordered_json::array();
  for (const RegistryEffect& value : effects.registry) registry.push_back(RegistryJson(value));
  ordered_json ini = ordered_json::array();
  for (const IniEffect& line : effects.ini)
    ini.push_back({{"change", ChangeWord(line.change)},
                   {"file", Utf8Of(line.file)},
                   {"section", Utf8Of(line.section)},
                   {"key", Utf8Of(line.key)},
                   {"value", line.change == EffectChange::kRemoved ? ordered_json(nullptr)
                                                                  : ordered_json(Utf8Of(line.value))}});
  ordered_json screenSaver = ordered_json::array();
  for (const ScreenSaverEffect& setting : effects.screenSaver)
    screenSaver.push_back({{"account", setting.account.empty() ? ordered_json(nullptr) : ordered_json(Utf8Of(setting.account))},
                           {"where", setting.account.empty() ? "system.ini [boot]" : "Control Panel\\Desktop"},
                           {"setting", setting.setting},
                           {"value", setting.removed ? ordered_json(nullptr) : ordered_json(Utf8Of(setting.value))}});
  ordered_json started = ordered_json::array();
  for (const StartedProgram& program : effects.started)
    started.push_back({{"call", program.call}, {"detail", program.detail}});
  ordered_json messages = ordered_json::array();
  for (const MessageShown& message : effects.messages)
    messages.push_back({{"caption", message.caption},
                        {"text", message.text},
                        {"style", message.style},
                        {"answer", message.answer}});
  const ordered_json document = {{"files", files},     {"folders", folders},
                                 {"registry", registry}, {"ini", ini},
                                 {"screen_saver", screenSaver}, {"started", started},
                                 {"messages", messages},
                                 {"exit_code", effects.exitCode < 0 ? ordered_json(nullptr)
                                                                    : ordered_json(effects.exitCode)}};
  return document.dump(2) + "\n";
}

std::string EffectsRegedit4(const InstallationEffects& effects) {
  std::string reg = "REGEDIT4\r\n";
  // Keys in the order they first appear, each with its values.
  std::vector<std::string> order;
  std::map<std::string, std::vector<const RegistryEffect*>> values;
  std::map<std::string, bool> removedKeys;
  for (const RegistryEffect& value : effects.registry) {
    if (!values.count(value.key)) order.push_back(value.key);
    auto& list = values[value.key];
    if (value.isKey) removedKeys[value.key] = value.change == EffectChange::kRemoved;
    else list.push_back(&value);
  }
  for (const std::string& key : order) {
    reg += "\r\n";
    if (!IsPrintableKey(key)) {
      reg += "; a key whose name holds a control character, left out: " + Printable(key) + "\r\n";
      continue;
    }
    if (removedKeys[key]) {
      reg += "[-" + key + "]\r\n";
      continue;
    }
    reg += "[" + key + "]\r\n";
    for (const RegistryEffect* value : values[key]) reg += RegLine(*value) + "\r\n";
  }
  return reg;
}

std::string EffectsText(const InstallationEffects& effects) {
  std::string text;
  auto section = [&text](const char* heading, const std::vector<std::string>& lines) {
    text += std::string(heading) + "\n";
    if (lines.empty()) text += "  (none)\n";
    for (const std::string& line : lines) text += "  " + Printable(line) + "\n";
  };
  std::vector<std::string> files, folders, registry, ini, screenSaver, started, messages;
  for (const FileEffect& file : effects.files) {
    std::string line = std::string(ChangeWord(file.change)) + " " + file.path;
    if (!file.directory && !file.sha256.empty())
      line += " " + std::to_string(file.size) + " bytes SHA-256 " + file.sha256;
    (file.directory ? folders : files).push_back(line);
  }
  for (const RegistryEffect& value : effects.registry) {
    std::string line = std::string(ChangeWord(value.change)) + " " + value.key;
    if (!value.isKey) {
      line += " " + (value.name.empty() ? std::string("@") : "\"" + value.name + "\"");
      if (value.change != EffectChange::kRemoved) {
        line += " " + TypeName(value.type) + " ";
        line += value.type == REG_SZ || value.type == REG_EXPAND_SZ ? "\"" + TextOf(value.data) + "\""
                : value.type == REG_DWORD && value.data.size() == 4
                    ? std::to_string(DwordOf(value.data))
                    : HexBytes(value.data, " ");
      }
    }
    registry.push_back(line);
  }
  for (const IniEffect& line : effects.ini)
    ini.push_back(std::string(ChangeWord(line.change)) + " " + line.file + " [" + line.section + "] " + line.key +
                  (line.change == EffectChange::kRemoved ? "" : " = " + line.value));
  for (const ScreenSaverEffect& setting : effects.screenSaver)
    screenSaver.push_back((setting.account.empty() ? "system.ini [boot] " : setting.account + " Control Panel\\Desktop ") +
                          setting.setting + (setting.removed ? " removed" : " = " + setting.value));
  for (const StartedProgram& program : effects.started) started.push_back(program.call + " " + program.detail);
  for (const MessageShown& message : effects.messages)
    messages.push_back("\"" + message.caption + "\" \"" + message.text + "\" " + message.style + " -> " + message.answer);
  section("Files:", files);
  section("Folders:", folders);
  section("Registry:", registry);
  section("Profile lines:", ini);
  section("Screen saver setting:", screenSaver);
  section("Programs started:", started);
  section("Messages shown:", messages);
  text += "Installer exit code: " + (effects.exitCode < 0 ? std::string("none (killed)") : std::to_string(effects.exitCode)) + "\n";
  return text;
}

}  // namespace preview
