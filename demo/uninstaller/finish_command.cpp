// Writing and reading the command line of the uninstaller's finishing copy.
#include "demo/uninstaller/finish_command.h"

#include <vector>

namespace uninstaller {
namespace {

constexpr char kFinishSwitch[] = "/finish";
constexpr char kSilentSwitch[] = "/S";
constexpr std::size_t kMaxArgumentsLength = 1024;

// Blank-separated words; a double quote starts or ends a quoted stretch
// (paths cannot hold a double quote, so no escapes are needed).
std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, inWord = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace

std::string FormatFinishCommandLine(std::string_view copyPath, std::string_view titleDirectory,
                                    bool silent, bool userSettingsLeftToLauncher) {
  std::string line = "\"";
  line.append(copyPath);
  line += "\" ";
  line += kFinishSwitch;
  line += " \"";
  line.append(titleDirectory);
  line += "\"";
  if (silent) line += std::string(" ") + kSilentSwitch;
  if (userSettingsLeftToLauncher) line += std::string(" ") + kElevatedChildSwitch;
  return line;
}

bool ParseFinishCommand(std::string_view arguments, FinishCommand* command) {
  if (arguments.size() > kMaxArgumentsLength) return false;
  const std::vector<std::string> words = SplitWords(arguments);
  if (words.size() < 2 || words[0] != kFinishSwitch || words[1].empty()) return false;
  // Then /S and /ELEVATED-CHILD, each at most once, in this order.
  std::size_t next = 2;
  const bool silent = next < words.size() && words[next] == kSilentSwitch;
  if (silent) ++next;
  const bool leftToLauncher = next < words.size() && words[next] == kElevatedChildSwitch;
  if (leftToLauncher) ++next;
  if (next != words.size()) return false;
  command->TitleDirectory = words[1];
  command->Silent = silent;
  command->UserSettingsLeftToLauncher = leftToLauncher;
  return true;
}

UserArguments ParseUserArguments(std::string_view arguments) {
  UserArguments result;
  for (const std::string& word : SplitWords(arguments)) {
    std::string folded = word;
    for (char& c : folded) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (folded == kSilentSwitch) result.Silent = true;
    else if (folded == "/?") result.Help = true;
    else if (folded == kElevatedChildSwitch) result.ElevatedChild = true;
    else if (result.Unknown.empty()) result.Unknown = word.empty() ? "\"\"" : word;
  }
  return result;
}

}  // namespace uninstaller
