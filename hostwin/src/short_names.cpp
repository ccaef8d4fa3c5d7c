// 8.3 names for the entries of a host folder.
#include "short_names.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "machine.h"

namespace hostwin {

namespace {

bool IsShortNameChar(unsigned char c) {
  return std::isalnum(c) || c >= 0x80 || std::strchr("$%'-_@~`!(){}^#&", c) != nullptr;
}

// Upper-cased, blanks and dots removed, + , ; = [ ] replaced by "_".
std::string Clean(const std::string& part) {
  std::string out;
  for (unsigned char c : part) {
    if (c == ' ' || c == '.') continue;
    if (std::strchr("+,;=[]", c)) c = '_';
    out += static_cast<char>(std::toupper(c));
  }
  return out;
}

struct Stem {
  std::string base;  // cleaned, whole
  std::string ext;   // cleaned, at most 3
};

Stem StemOf(const std::string& name) {
  std::string rest = name;
  rest.erase(0, rest.find_first_not_of('.'));
  if (rest.empty()) rest = name;  // a name of dots only keeps them to be cleaned away
  Stem stem;
  std::size_t dot = rest.rfind('.');
  if (dot == std::string::npos) {
    stem.base = Clean(rest);
  } else {
    stem.base = Clean(rest.substr(0, dot));
    stem.ext = Clean(rest.substr(dot + 1)).substr(0, 3);
  }
  if (stem.base.empty()) stem.base = "_";
  return stem;
}

}  // namespace

bool IsValidShortName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  std::size_t dot = name.find('.');
  std::string base = name.substr(0, dot);
  std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8) return false;
  if (dot != std::string::npos && (ext.empty() || ext.size() > 3)) return false;
  for (unsigned char c : base + ext)
    if (!IsShortNameChar(c)) return false;
  return true;
}

std::string ShortNameOf(int folder, const std::string& entry) {
  if (IsValidShortName(entry)) return entry;
  const Stem mine = StemOf(entry);
  const std::string key = mine.base.substr(0, 6);
  std::vector<std::string> rivals;
  if (DIR* dir = OpenListing(folder)) {
    while (dirent* found = readdir(dir)) {
      std::string name = found->d_name;
      if (name == "." || name == ".." || IsValidShortName(name)) continue;
      Stem other = StemOf(name);
      if (other.base.substr(0, 6) == key && other.ext == mine.ext) rivals.push_back(name);
    }
    closedir(dir);
  }
  auto upper = [](std::string text) {
    for (char& letter : text) letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    return text;
  };
  // Ordered by cleaned name first, so "My Saver.scr" comes before
  // "My Saver 2.scr" as it would when created first.
  std::sort(rivals.begin(), rivals.end(), [&](const std::string& left, const std::string& right) {
    Stem leftStem = StemOf(left), rightStem = StemOf(right);
    if (leftStem.base != rightStem.base) return leftStem.base < rightStem.base;
    std::string leftUpper = upper(left), rightUpper = upper(right);
    return leftUpper != rightUpper ? leftUpper < rightUpper : left < right;
  });
  std::size_t index = 0;
  auto found = std::find(rivals.begin(), rivals.end(), entry);
  if (found != rivals.end()) index = static_cast<std::size_t>(found - rivals.begin());
  const std::string tail = "~" + std::to_string(index + 1);
  return mine.base.substr(0, 8 - tail.size()) + tail + (mine.ext.empty() ? "" : "." + mine.ext);
}

}  // namespace hostwin
