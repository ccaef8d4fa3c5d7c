// The installer's command line (WinMain's lpCmdLine, without the program):
//
//   /S          silent: no window, message box, dialog or browser; every
//               question answered as an unattended upgrade would
//   /LOG=FILE   a plain-text log of the run (also without /S)
//   /?          the switches in a message box
//
// and the private kElevatedChildSwitch, by which a launcher without full
// rights starts its elevated self (installer/activation.h).
//
// Switches are case-insensitive and come in any order. Arguments are split
// as the C runtime splits them: blanks and tabs separate, double quotes
// group (anywhere in an argument, so /LOG="C:\a b\x.log" and
// "/LOG=C:\a b\x.log" are the same), a backslash before a quote escapes it.
#pragma once

#include <cstddef>

#include "core/format/install_names.h"

namespace installer {

constexpr char kElevatedChildSwitch[] = "/ELEVATED-CHILD";

// Room for the first argument not understood, as the help box names it.
constexpr std::size_t kUnknownSwitchSize = 64;

struct CommandLine {
  bool silent = false;
  bool help = false;
  bool elevatedChild = false;  // this process is a launcher's elevated child
  char logPath[format::kPathBufferSize] = "";  // empty: no log
  // The first argument not understood (cut to fit), empty when none: an
  // unknown switch, a word that is no switch, /LOG= without a file or with
  // a path over 259 characters.
  char unknown[kUnknownSwitchSize] = "";

  bool BadArguments() const { return help || unknown[0] != '\0'; }
};

// `arguments` may be null (no command line).
CommandLine ParseCommandLine(const char* arguments);

// The arguments of a whole command line (GetCommandLineA's): past the
// program's name, in which double quotes group and nothing escapes, and past
// the blanks after it; what WinMain receives as its lpCmdLine.
const char* SkipProgramName(const char* commandLine);

}  // namespace installer
