// Writing and reading the command line of the uninstaller's finishing copy.
#include "demo/uninstaller/finish_command.h"

#include <vector>

namespace uninstaller {
namespace {

constexpr char kFinishSwitch[] = "/finish";
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

std::string FormatFinishCommandLine(std::string_view copyPath, std::uintptr_t originalProcess,
                                    std::string_view titleDirectory, bool userSettingsLeftToLauncher) {
  std::string line = "\"";
  line.append(copyPath);
  line += "\" ";
  line += kFinishSwitch;
  line += " " + std::to_string(originalProcess) + " \"";
  line.append(titleDirectory);
  line += "\"";
  if (userSettingsLeftToLauncher) line += std::string(" ") + kElevatedChildSwitch;
  return line;
}

bool ParseFinishCommand(std::string_view arguments, FinishCommand* command) {
  if (arguments.size() > kMaxArgumentsLength) return false;
  const std::vector<std::string> words = SplitWords(arguments);
  const bool leftToLauncher = words.size() == 4 && words[3] == kElevatedChildSwitch;
  if ((words.size() != 3 && !leftToLauncher) || words[0] != kFinishSwitch || words[1].empty() ||
      words[2].empty())
    return false;
  std::uintptr_t handle = 0;
  for (char c : words[1]) {
    if (c < '0' || c > '9') return false;
    const std::uintptr_t digit = static_cast<std::uintptr_t>(c - '0');
    if (handle > (UINTPTR_MAX - digit) / 10) return false;
    handle = handle * 10 + digit;
  }
  command->OriginalProcess = handle;
  command->TitleDirectory = words[2];
  command->UserSettingsLeftToLauncher = leftToLauncher;
  return true;
}

}  // namespace uninstaller
