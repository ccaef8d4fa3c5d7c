// Where an installer of this kind may write, and an installation's effects
// judged against it: the screen saver in the Windows directory; files in
// its title folder WinDir\MARLOWEN\VELDRAKE\<title> and the three folders
// on the way; its uninstall key under HKEY_LOCAL_MACHINE (and the keys on
// the way); system.ini's [boot] SCRNSAVE.EXE; each account's Control
// Panel\Desktop SCRNSAVE.EXE and ScreenSaveActive; and as programs, the
// screen saver it installed, itself (to elevate) and the media player's
// download page (when a media type cannot play). It removes nothing.
#pragma once

#include <string>
#include <vector>

#include "tool/preview/effects.h"

namespace verify {

struct InstallerPlaces {
  std::string windowsDirectory;  // as the machine reports it: "C:\WINDOWS", or "C:\" for a root
  std::string title;             // the trimmed title, the bare title of names and keys
  std::string imagePath;         // the installer's own image on the machine
};

// One line for each effect that lies outside those places; none when all
// lie within.
std::vector<std::string> MisplacedEffects(const preview::InstallationEffects& effects,
                                          const InstallerPlaces& places);

}  // namespace verify
