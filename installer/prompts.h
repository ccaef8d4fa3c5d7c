// Every message box of the installer goes through here: shown and its
// answer logged, or under /S not shown and answered as an unattended run
// answers it (also logged).
#pragma once

#include <windows.h>

namespace installer {

// A question: MessageBoxA's answer, or `silentAnswer` under /S.
int Ask(const char* text, const char* caption, UINT style, int silentAnswer);

// A message that only informs: not shown under /S. Its answer (IDOK or
// IDCANCEL when it offers them), or 0 under /S.
int Tell(const char* text, const char* caption, UINT style);

}  // namespace installer
