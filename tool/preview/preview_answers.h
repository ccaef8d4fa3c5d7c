// The answers that saverkit preview gives the installer: their names, and
// the answer that goes on at each prompt of a normal installation.
#pragma once

#include <string>
#include <vector>

namespace preview {

// The names the stand-in understands, for help and error texts.
constexpr char kPreviewAnswerNames[] = "ok, cancel, yes, no, accept, decline, escape, close";
// More prompts than any installation shows: replace, disk space,
// confirmation, licence, progress, completion, codecs, connection, info.
constexpr int kMaxPreviewPrompts = 12;

bool IsPreviewAnswer(const std::string& answer);

// When the run of `transcript` stopped at a prompt for want of an answer,
// gives the answer that goes on with a normal installation there (yes to
// a Yes/No question, accept to the licence, ok to everything else) and
// returns true; false when no answer was missing.
bool NextPreviewAnswer(const std::vector<std::string>& transcript, std::string* answer);

// True when the transcript holds a loud error ("!! ...").
bool HasLoudError(const std::vector<std::string>& transcript);

}  // namespace preview
