// INI text parsing and line-preserving edits.
#include "ini_text.h"

#include "machine.h"

namespace hostwin {

std::string Trim(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  std::size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

namespace {

// "[name]" -> name; nullopt for any other line.
std::optional<std::string> SectionName(const std::string& line) {
  std::string t = Trim(line);
  if (t.size() < 2 || t[0] != '[') return std::nullopt;
  std::size_t close = t.find(']');
  if (close == std::string::npos) return std::nullopt;
  return Trim(t.substr(1, close - 1));
}

bool KeyValue(const std::string& line, std::string* key, std::string* value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  // A value in matching quotes is read without them, as Windows does.
  if (value->size() >= 2 && (*value)[0] == '"' && value->back() == '"') *value = value->substr(1, value->size() - 2);
  return true;
}

}  // namespace

IniText IniText::Parse(const std::string& text) {
  IniText ini;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ini.lines_.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) ini.lines_.push_back(line);
  return ini;
}

long IniText::FindSection(const std::string& section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    auto name = SectionName(lines_[i]);
    if (name && SameText(*name, section)) return static_cast<long>(i);
  }
  return -1;
}

std::size_t IniText::SectionEnd(long at) const {
  std::size_t i = static_cast<std::size_t>(at) + 1;
  while (i < lines_.size() && !SectionName(lines_[i])) ++i;
  return i;
}

std::optional<std::string> IniText::Get(const std::string& section, const std::string& key) const {
  long at = FindSection(section);
  if (at < 0) return std::nullopt;
  for (std::size_t i = static_cast<std::size_t>(at) + 1; i < SectionEnd(at); ++i) {
    std::string k, v;
    if (KeyValue(lines_[i], &k, &v) && SameText(k, key)) return v;
  }
  return std::nullopt;
}

void IniText::Set(const std::string& section, const std::string& key, const std::string& value) {
  const std::string entry = key + "=" + value;
  long at = FindSection(section);
  if (at < 0) {
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.push_back("");
    lines_.push_back("[" + section + "]");
    lines_.push_back(entry);
    return;
  }
  std::size_t end = SectionEnd(at);
  std::size_t lastEntry = static_cast<std::size_t>(at);
  for (std::size_t i = static_cast<std::size_t>(at) + 1; i < end; ++i) {
    std::string k, v;
    if (KeyValue(lines_[i], &k, &v)) {
      if (SameText(k, key)) {
        lines_[i] = entry;
        return;
      }
      lastEntry = i;
    } else if (!Trim(lines_[i]).empty()) {
      lastEntry = i;
    }
  }
  lines_.insert(lines_.begin() + static_cast<long>(lastEntry) + 1, entry);
}

void IniText::DeleteKey(const std::string& section, const std::string& key) {
  long at = FindSection(section);
  if (at < 0) return;
  std::size_t end = SectionEnd(at);
  for (std::size_t i = static_cast<std::size_t>(at) + 1; i < end; ++i) {
    std::string k, v;
    if (KeyValue(lines_[i], &k, &v) && SameText(k, key)) {
      lines_.erase(lines_.begin() + static_cast<long>(i));
      return;
    }
  }
}

void IniText::DeleteSection(const std::string& section) {
  long at = FindSection(section);
  if (at < 0) return;
  lines_.erase(lines_.begin() + at, lines_.begin() + static_cast<long>(SectionEnd(at)));
}

std::vector<std::pair<std::string, std::pair<std::string, std::string>>> IniText::Entries() const {
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> entries;
  std::string section;
  for (const std::string& line : lines_) {
    if (auto name = SectionName(line)) {
      section = *name;
      continue;
    }
    std::string k, v;
    if (KeyValue(line, &k, &v)) entries.push_back({section, {k, v}});
  }
  return entries;
}

std::string IniText::Text() const {
  std::string text;
  for (const std::string& line : lines_) text += line + "\r\n";
  return text;
}

}  // namespace hostwin
