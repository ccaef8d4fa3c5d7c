// Message boxes, shown or answered under /S, and logged.
#include "installer/prompts.h"

#include "installer/installer_state.h"
#include "installer/run_log.h"

namespace installer {

namespace {

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDYES: return "yes";
    case IDNO: return "no";
    default: return "none";
  }
}

}  // namespace

int Ask(const char* text, const char* caption, UINT style, int silentAnswer) {
  if (Switches.silent) {
    LogLine("question \"%s\" \"%s\" -> %s (/S)", caption, text, AnswerName(silentAnswer));
    return silentAnswer;
  }
  const int answer = MessageBoxA(nullptr, text, caption, style);
  LogLine("question \"%s\" \"%s\" -> %s", caption, text, AnswerName(answer));
  return answer;
}

int Tell(const char* text, const char* caption, UINT style) {
  if (Switches.silent) {
    LogLine("message \"%s\" \"%s\" not shown (/S)", caption ? caption : "", text);
    return 0;
  }
  const int answer = MessageBoxA(nullptr, text, caption, style);
  LogLine("message \"%s\" \"%s\" -> %s", caption ? caption : "", text, AnswerName(answer));
  return answer;
}

}  // namespace installer
