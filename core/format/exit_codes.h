// The exit codes of the installer and of UNINSTAL.EXE, one table for both
// programs and for the tool, which names them in the winget manifest it
// writes. When several apply, the first stop wins; after a full run,
// kFilesNotWritten outranks kShortWrite, which outranks kMediaCannotPlay.
#pragma once

namespace format {

enum InstallerExit : int {
  kInstalled = 0,         // installed (and activated where allowed); uninstaller: everything logged removed
  kShortWrite = 1,        // the decoder's output stream wrote short
  kCancelled = 2,         // cancelled or declined by the user (replace question, confirmation, licence)
  kDiskSpace = 3,         // not enough disk space (warning answered No, or any warning under /S)
  kFilesNotWritten = 4,   // files that could not be written; uninstaller: something logged not removed
  kDamagedImage = 5,      // damaged image or refused title; uninstaller: damaged or unreadable INSTALL.LOG
  kMediaCannotPlay = 6,   // installed, but a media type cannot play: not activated, not started
  kBadArguments = 7,      // /? or an unknown switch
  kElevationRefused = 8,  // elevation refused
};

}  // namespace format
