// The one rule for a screen saver's title, applied by the packer before it
// writes an image and by the installer before it writes anything.
//
// The title names the screen saver's file in the Windows directory
// (<title>.scr), its own directory below MARLOWEN\VELDRAKE and its uninstall
// key, so it must be one plain name that Windows keeps as it is: not empty,
// no leading blank, no trailing dot or blank (Windows drops them, so "Evil."
// would install into "Evil" while its key says "Evil."), not only dots and
// blanks (". ." would put the files into the shared folder itself), no
// control character, none of \ / : * ? " < > |, and no device name (CON,
// PRN, AUX, NUL, CONIN$, CONOUT$, COM1-COM9, LPT1-LPT9 and COM/LPT with the
// superscript digits 1-3 of Windows-1252, alone or with an extension).
// The installer applies it to the title trimmed of trailing blanks.
#pragma once

namespace format {

enum class TitleFault {
  kNone,
  kEmpty,
  kControlCharacter,   // a byte below 0x20
  kReservedCharacter,  // \ / : * ? " < > |
  kOnlyDotsAndBlanks,
  kLeadingBlank,
  kTrailingDotOrBlank,
  kDeviceName,
};

// The first fault of `title` in the order above, or kNone.
TitleFault CheckTitle(const char* title);

}  // namespace format
