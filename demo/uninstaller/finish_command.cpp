// Writing and reading the command line of the uninstaller's finishing copy.
#include "demo/uninstaller/finish_command.h"

#include <cstring>

#include "core/text/ascii_case.h"
#include "core/text/bounded_text.h"

namespace uninstaller {
namespace {

constexpr char kFinishSwitch[] = "/finish";
constexpr char kSilentSwitch[] = "/S";

// Blank-separated words; a double quote starts or ends a quoted stretch
// (paths cannot hold a double quote, so no escapes are needed). Each call
// takes the next word from `*cursor` into `word` (cut to its `size`;
// `*cut` tells); false when no word is left.
bool NextWord(const char** cursor, char* word, std::size_t size, bool* cut) {
  const char* at = *cursor;
  while (*at == ' ' || *at == '\t') ++at;
  if (*at == '\0') return false;
  std::size_t length = 0;
  bool quoted = false;
  *cut = false;
  for (; *at != '\0' && (quoted || (*at != ' ' && *at != '\t')); ++at) {
    if (*at == '"') {
      quoted = !quoted;
    } else if (length + 1 < size) {
      word[length++] = *at;
    } else {
      *cut = true;
    }
  }
  word[length] = '\0';
  *cursor = at;
  return true;
}

}  // namespace

bool FormatFinishCommandLine(char* line, std::size_t size, const char* copyPath, const char* titleDirectory,
                             bool silent, bool userSettingsLeftToLauncher) {
  using text::AppendText;
  return text::CopyText(line, size, "\"") && AppendText(line, size, copyPath) && AppendText(line, size, "\" ") &&
         AppendText(line, size, kFinishSwitch) && AppendText(line, size, " \"") &&
         AppendText(line, size, titleDirectory) && AppendText(line, size, "\"") &&
         (!silent || (AppendText(line, size, " ") && AppendText(line, size, kSilentSwitch))) &&
         (!userSettingsLeftToLauncher || (AppendText(line, size, " ") && AppendText(line, size, kElevatedChildSwitch)));
}

bool ParseFinishCommand(const char* arguments, FinishCommand* command) {
  if (std::strlen(arguments) > kMaxFinishArgumentsLength) return false;
  // No word is longer than the arguments, so none is cut.
  char word[kMaxFinishArgumentsLength + 1];
  bool cut = false;
  const char* cursor = arguments;
  if (!NextWord(&cursor, word, sizeof word, &cut) || std::strcmp(word, kFinishSwitch) != 0) return false;
  if (!NextWord(&cursor, command->TitleDirectory, sizeof command->TitleDirectory, &cut) ||
      command->TitleDirectory[0] == '\0')
    return false;
  // Then /S and /ELEVATED-CHILD, each at most once, in this order.
  bool more = NextWord(&cursor, word, sizeof word, &cut);
  command->Silent = more && std::strcmp(word, kSilentSwitch) == 0;
  if (command->Silent) more = NextWord(&cursor, word, sizeof word, &cut);
  command->UserSettingsLeftToLauncher = more && std::strcmp(word, kElevatedChildSwitch) == 0;
  if (command->UserSettingsLeftToLauncher) more = NextWord(&cursor, word, sizeof word, &cut);
  return !more;
}

void ParseUserArguments(const char* arguments, UserArguments* result) {
  result->Silent = result->Help = result->ElevatedChild = false;
  result->Unknown[0] = '\0';
  // Longer than every switch: a word cut to it is none of them.
  char word[format::kPathBufferSize];
  bool cut = false;
  for (const char* cursor = arguments; NextWord(&cursor, word, sizeof word, &cut);) {
    if (!cut && text::EqualNoCase(word, kSilentSwitch)) {
      result->Silent = true;
    } else if (!cut && std::strcmp(word, "/?") == 0) {
      result->Help = true;
    } else if (!cut && text::EqualNoCase(word, kElevatedChildSwitch)) {
      result->ElevatedChild = true;
    } else if (result->Unknown[0] == '\0') {
      text::CopyText(result->Unknown, word[0] == '\0' ? "\"\"" : word);
    }
  }
}

}  // namespace uninstaller
