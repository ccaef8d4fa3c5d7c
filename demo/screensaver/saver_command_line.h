// How Windows starts a screen saver, read from its command line:
//
//   /s            run full screen ("Test" and the idle timer)
//   /p <hwnd>     draw into the preview box, a child of window <hwnd>
//   /c[:<hwnd>]   show the settings, owned by window <hwnd>
//   /a <hwnd>     change the password (Windows 95/98); not offered
//   (nothing)     show the settings, as "Configure" in Explorer does
//
// The letter may be upper or lower case and come after '/' or '-'; the
// window number may follow after ':' or blanks.
#pragma once

#include <cstdint>
#include <string_view>

namespace screensaver {

enum class SaverMode { kSettings, kPreview, kFullScreen, kPassword };

struct SaverCommand {
  SaverMode Mode = SaverMode::kSettings;
  // The window number given with the mode, 0 when none (or not a number).
  std::uintptr_t Window = 0;
  // False when the mode was not asked for (no or an unknown argument).
  bool Explicit = false;
};

// Unknown options show the settings, the harmless choice.
SaverCommand ParseSaverCommandLine(std::string_view arguments);

}  // namespace screensaver
