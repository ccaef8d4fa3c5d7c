// The answers saverkit preview gives by itself: at each prompt a run stopped
// at for want of an answer, the one that goes on with the installation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/preview/preview_answers.h"


namespace {

using preview::NextPreviewAnswer;

TEST(PreviewAnswers, TheAnswerThatGoesOnAtEachKindOfPrompt) {
  struct Case {
    const char* name;
    std::vector<std::string> transcript;
    std::string expected;  // empty: no answer was missing
  } cases[] = {
      {"replace question",
       {R"(message box "Replace Screen Saver?" "There is ..." MB_YESNO|MB_ICONQUESTION -> (none) = IDNO)",
        "!! a message box waits for an answer and none is left", "exit 0"},
       "yes"},
      {"confirmation",
       {R"(message box "Sky Screen Saver Installation" "This program ..." MB_OKCANCEL|MB_ICONINFORMATION -> (none) = IDCANCEL)",
        "!! a message box waits for an answer and none is left", "exit 0"},
       "ok"},
      {"licence",
       {R"(dialog 106 open "License Agreement" 600x500)",
        "!! dialog 106 waits for an answer and none is left (focus 1009 (no selection))",
        "dialog 106 end 2", "exit 0"},
       "accept"},
      {"information dialog",
       {R"(dialog 107 open "Saverkit Studio Info" 300x250)",
        "!! dialog 107 waits for an answer and none is left (focus 1)", "exit 0"},
       "ok"},
      {"the first missing answer counts",
       {R"(message box "A" "B" MB_YESNO -> (none) = IDNO)",
        "!! a message box waits for an answer and none is left",
        "!! dialog 106 waits for an answer and none is left (focus 1009)", "exit 0"},
       "yes"},
      {"a title that names a Yes/No box is no Yes/No box",
       {R"(message box "MB_YESNO -> x" "MB_YESNO" MB_OKCANCEL|MB_ICONINFORMATION -> (none) = IDCANCEL)",
        "!! a message box waits for an answer and none is left", "exit 0"},
       "ok"},
      {"a Yes/No box with an owner",
       {R"(message box "A" "B" MB_YESNO|MB_ICONQUESTION owner -> (none) = IDNO)",
        "!! a message box waits for an answer and none is left", "exit 0"},
       "yes"},
      {"a prompt of a process the program started (the uninstaller's copy)",
       {R"(child: child: message box "A" "B" MB_YESNO -> (none) = IDNO)",
        "child: child: !! a message box waits for an answer and none is left", "child: exit 0", "exit 0"},
       "yes"},
      {"complete run", {R"(message box "A" "B" MB_OK -> ok = IDOK)", "exit 0"}, ""},
      {"other loud errors are no prompt",
       {"!! answers left unused: ok", "exit 0"},
       ""},
  };
  for (const Case& c : cases) {
    std::string answer;
    EXPECT_EQ(NextPreviewAnswer(c.transcript, &answer), !c.expected.empty()) << c.name;
    EXPECT_EQ(answer, c.expected) << c.name;
  }
}

}  // namespace
