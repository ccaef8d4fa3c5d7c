// Choosing the answers of a normal installation from a run's transcript.
#include "tool/preview/preview_answers.h"

#include "installer/resources/resource_ids.h"

namespace preview {

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// A line of a process the program started, without its marks ("child: "
// once per generation): its prompts wait for the same user.
std::string OwnLine(const std::string& line) {
  std::size_t at = 0;
  while (line.compare(at, 7, "child: ") == 0) at += 7;
  return line.substr(at);
}

bool IsLoud(const std::string& line) { return StartsWith(OwnLine(line), "!! "); }

bool IsMissingAnswer(const std::string& line) {
  return IsLoud(line) && line.find("waits for an answer and none is left") != std::string::npos;
}

// The style of a message box line, `message box "CAPTION" "TEXT" STYLE[
// owner] -> ...`: read from the end, since the quoted texts come from the
// image and may hold anything, "MB_YESNO" and " -> " included.
std::string MessageBoxStyle(const std::string& line) {
  std::string head = line.substr(0, line.rfind(" -> "));
  const std::string owner = " owner";
  if (head.size() >= owner.size() && head.compare(head.size() - owner.size(), owner.size(), owner) == 0)
    head.resize(head.size() - owner.size());
  return head.substr(head.rfind(' ') + 1);
}

// The answer that goes on at the prompt of `line`: yes where the box's
// buttons are Yes and No.
std::string AnswerThatGoesOn(const std::string& line) {
  if (StartsWith(line, "message box")) {
    const std::string style = MessageBoxStyle(line);
    const std::string buttons = style.substr(0, style.find('|'));
    return buttons == "MB_YESNO" || buttons == "MB_YESNOCANCEL" ? "yes" : "ok";
  }
  if (StartsWith(line, "dialog " + std::to_string(IDD_LICENSE) + " ")) return "accept";
  return "ok";
}

}  // namespace

bool IsPreviewAnswer(const std::string& answer) {
  static const char* const kAnswers[] = {"ok",     "cancel",  "yes",    "no",
                                         "accept", "decline", "escape", "close"};
  for (const char* known : kAnswers)
    if (answer == known) return true;
  return false;
}

bool NextPreviewAnswer(const std::vector<std::string>& transcript, std::string* answer) {
  for (std::size_t i = 0; i < transcript.size(); ++i) {
    if (!IsMissingAnswer(transcript[i])) continue;
    // The prompt is named on the loud line itself or on the last prompt
    // line before it.
    for (std::size_t j = i + 1; j-- > 0;) {
      const std::string line = OwnLine(transcript[j]);
      const std::string prompt = j == i ? line.substr(3) : line;
      if (StartsWith(prompt, "message box") || StartsWith(prompt, "dialog ")) {
        *answer = AnswerThatGoesOn(prompt);
        return true;
      }
    }
    *answer = "ok";
    return true;
  }
  return false;
}

bool HasLoudError(const std::vector<std::string>& transcript) {
  for (const std::string& line : transcript)
    if (IsLoud(line)) return true;
  return false;
}

}  // namespace preview
