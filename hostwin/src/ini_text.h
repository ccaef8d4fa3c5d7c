// INI text as Windows profile functions read and edit it: "[section]" lines,
// "key=value" lines, names compared without regard to case, blanks around
// keys and values ignored. Edits keep every other line as it was.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace hostwin {

class IniText {
 public:
  static IniText Parse(const std::string& text);
  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // Sets key=value: replaces the key's line, or adds it after the section's
  // last entry, or adds the section at the end.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  void DeleteKey(const std::string& section, const std::string& key);
  void DeleteSection(const std::string& section);
  // Every entry in file order as ("section", "key", "value").
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> Entries() const;
  std::string Text() const;  // lines joined with CR LF, the last one ended too

 private:
  std::vector<std::string> lines_;
  // Index of the section's header line, or -1.
  long FindSection(const std::string& section) const;
  // End of the section starting at header `at`: index of the next header or size.
  std::size_t SectionEnd(long at) const;
};

std::string Trim(const std::string& text);

}  // namespace hostwin
