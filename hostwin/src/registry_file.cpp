// Reading and writing the REGEDIT4 text of the machine's registry.
#include "registry_file.h"

#include <cstdio>
#include <cstdlib>

#include "machine.h"

namespace hostwin {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool IsLineBreaking(unsigned char c) { return c < 0x20 || c == 0x7F; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The byte written as two hex digits at text[at], or -1.
int HexByteAt(const std::string& text, std::size_t at) {
  if (at + 1 >= text.size()) return -1;
  const int high = HexValue(text[at]), low = HexValue(text[at + 1]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// A quoted name or text: \\ and \" escaped, control characters as \xNN so
// that nothing in it can end the line.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (IsLineBreaking(byte)) {
      out += "\\x";
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 15];
      continue;
    }
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// A key path between [ and ]: the format has no escape there, so control
// characters and '%' are written %XX (key names from elsewhere hold no
// control characters; a '%' not followed by two hex digits reads as itself).
std::string EscapeKeyPath(const std::string& path) {
  std::string out;
  for (char c : path) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (IsLineBreaking(byte) || c == '%') {
      out += '%';
      out += kHexDigits[byte >> 4];
      out += kHexDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string UnescapeKeyPath(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = text[i] == '%' ? HexByteAt(text, i + 1) : -1;
    if (byte >= 0) {
      out += static_cast<char>(byte);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Reads a quoted string starting at text[*at] == '"'; leaves *at after the
// closing quote.
bool ReadQuoted(const std::string& text, std::size_t* at, std::string* out) {
  if (*at >= text.size() || text[*at] != '"') return false;
  out->clear();
  for (std::size_t i = *at + 1; i < text.size(); ++i) {
    const int escaped = text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'x'
                            ? HexByteAt(text, i + 2) : -1;
    if (escaped >= 0) {
      *out += static_cast<char>(escaped);
      i += 3;
    } else if (text[i] == '\\' && i + 1 < text.size()) {
      *out += text[++i];
    } else if (text[i] == '"') {
      *at = i + 1;
      return true;
    } else {
      *out += text[i];
    }
  }
  return false;
}

std::vector<unsigned char> ParseHexBytes(const std::string& text) {
  std::vector<unsigned char> bytes;
  std::string item;
  for (char c : text + ",") {
    if (c == ',') {
      if (!item.empty()) bytes.push_back(static_cast<unsigned char>(std::strtoul(item.c_str(), nullptr, 16)));
      item.clear();
    } else if (c != ' ' && c != '\t' && c != '\\') {
      item += c;
    }
  }
  return bytes;
}

std::string HexBytes(const std::vector<unsigned char>& data) {
  std::string out;
  char piece[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(piece, sizeof piece, "%02x", data[i]);
    out += (i ? "," : "") + std::string(piece);
  }
  return out;
}

bool IsPlainString(const std::vector<unsigned char>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i)
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  return true;
}

void ParseValueLine(const std::string& line, RegistryKey* key) {
  RegistryValue value;
  std::size_t at = 0;
  if (line[0] == '@') {
    at = 1;
  } else if (!ReadQuoted(line, &at, &value.name)) {
    return;
  }
  if (at >= line.size() || line[at] != '=') return;
  std::string data = line.substr(at + 1);
  if (!data.empty() && data[0] == '"') {
    std::size_t end = 0;
    std::string text;
    if (!ReadQuoted(data, &end, &text)) return;
    value.type = REG_SZ;
    value.data.assign(text.begin(), text.end());
    value.data.push_back(0);
  } else if (data.compare(0, 6, "dword:") == 0) {
    DWORD number = static_cast<DWORD>(std::strtoul(data.c_str() + 6, nullptr, 16));
    value.type = REG_DWORD;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<unsigned char>(number >> (8 * i)));
  } else if (data.compare(0, 4, "hex:") == 0) {
    value.type = REG_BINARY;
    value.data = ParseHexBytes(data.substr(4));
  } else if (data.compare(0, 4, "hex(") == 0) {
    std::size_t close = data.find("):");
    if (close == std::string::npos) return;
    value.type = static_cast<DWORD>(std::strtoul(data.c_str() + 4, nullptr, 16));
    value.data = ParseHexBytes(data.substr(close + 2));
  } else {
    return;
  }
  for (RegistryValue& existing : key->values) {
    if (SameText(existing.name, value.name)) {
      existing = value;
      return;
    }
  }
  key->values.push_back(value);
}

}  // namespace

RegistryTree ParseRegistryText(const std::string& text) {
  RegistryTree tree;
  RegistryKey* current = nullptr;
  std::string line;
  std::vector<std::string> lines;
  for (char character : text + "\n") {
    if (character == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // A line ending in a backslash goes on in the next (long hex data).
      if (!lines.empty() && !lines.back().empty() && lines.back().back() == '\\' &&
          lines.back().find("=hex") != std::string::npos) {
        lines.back().pop_back();
        std::size_t start = line.find_first_not_of(" \t");
        lines.back() += start == std::string::npos ? "" : line.substr(start);
      } else {
        lines.push_back(line);
      }
      line.clear();
    } else {
      line += character;
    }
  }
  for (const std::string& entry : lines) {
    if (entry.empty() || entry[0] == ';' || entry == "REGEDIT4") continue;
    if (entry[0] == '[') {
      std::size_t close = entry.rfind(']');
      std::string path = UnescapeKeyPath(entry.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      RegistryKey& key = tree[UpperCase(path)];
      if (key.path.empty()) key.path = path;
      current = &key;
    } else if (current) {
      ParseValueLine(entry, current);
    }
  }
  // A key implies its parents, as in the registry itself.
  std::vector<std::string> paths;
  for (const auto& [upper, key] : tree) paths.push_back(key.path);
  for (const std::string& path : paths) {
    for (std::size_t slash = path.find('\\'); slash != std::string::npos; slash = path.find('\\', slash + 1)) {
      RegistryKey& parent = tree[UpperCase(path.substr(0, slash))];
      if (parent.path.empty()) parent.path = path.substr(0, slash);
    }
  }
  return tree;
}

std::string RegistryText(const RegistryTree& tree) {
  std::string out = "REGEDIT4\r\n\r\n";
  for (const auto& [upper, key] : tree) {
    out += "[" + EscapeKeyPath(key.path) + "]\r\n";
    for (const RegistryValue& v : key.values) {
      out += v.name.empty() ? "@=" : "\"" + Escape(v.name) + "\"=";
      if (v.type == REG_SZ && IsPlainString(v.data)) {
        out += "\"" + Escape(std::string(v.data.begin(), v.data.end() - 1)) + "\"";
      } else if (v.type == REG_DWORD && v.data.size() == 4) {
        char hex[16];
        DWORD d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<DWORD>(v.data[3]) << 24);
        std::snprintf(hex, sizeof hex, "dword:%08x", d);
        out += hex;
      } else if (v.type == REG_BINARY) {
        out += "hex:" + HexBytes(v.data);
      } else {
        char head[24];
        std::snprintf(head, sizeof head, "hex(%x):", static_cast<unsigned>(v.type));
        out += head + HexBytes(v.data);
      }
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

std::string DescribeRegistryData(DWORD type, const std::vector<unsigned char>& data) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::string text;
    for (unsigned char c : data) {
      if (c == 0) break;
      text += static_cast<char>(c);
    }
    return std::string(type == REG_SZ ? "REG_SZ " : "REG_EXPAND_SZ ") + Quoted(text);
  }
  if (type == REG_MULTI_SZ && !data.empty() && data.back() == 0) {
    // Each string quoted, the empty ones included (a deletion at the next
    // start is a file and an empty string).
    std::string out = "REG_MULTI_SZ";
    std::string text;
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
      if (data[i] != 0) {
        text += static_cast<char>(data[i]);
        continue;
      }
      out += " " + Quoted(text);
      text.clear();
    }
    return out;
  }
  if (type == REG_DWORD && data.size() == 4) {
    char hex[16];
    DWORD d = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
    std::snprintf(hex, sizeof hex, "0x%08x", d);
    return std::string("REG_DWORD ") + hex;
  }
  std::string out = type == REG_BINARY ? "REG_BINARY" : "type " + std::to_string(type);
  char piece[4];
  for (unsigned char c : data) {
    std::snprintf(piece, sizeof piece, "%02x", c);
    out += " " + std::string(piece);
  }
  return out;
}

}  // namespace hostwin
