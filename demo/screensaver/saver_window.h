// The demo screen saver's window: full screen, or inside the preview box
// of the desktop settings. It shows the sky of aurora_art.h, the message of
// the data file drifting and bouncing, and in full screen plays the media
// files and names the one playing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "demo/settings/demo_settings.h"

namespace screensaver {

struct SaverSetup {
  settings::DemoSettings Settings;
  std::vector<std::string> MediaPaths;  // full paths, in playing order
  std::string Title;                    // the window's name; may be empty
};

// Runs full screen until the user moves the mouse, clicks or types.
int RunFullScreen(HINSTANCE instance, const SaverSetup& setup);

// Draws inside `parent` (the preview box) until that window goes away.
int RunPreview(HINSTANCE instance, const SaverSetup& setup, HWND parent);

}  // namespace screensaver
