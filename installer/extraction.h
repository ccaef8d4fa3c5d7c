// The extraction that the progress dialog runs once: every payload entry
// written to its destination, each destination logged in INSTALL.LOG, the
// uninstaller registered, each media file checked with the multimedia
// layer, and, when everything was written whole and plays, the screen saver
// made the system's screen saver.
#pragma once

#include <windows.h>

#include "installer/extraction_results.h"

namespace installer {

// What the extraction reads.
struct ExtractionInputs {
  HINSTANCE instance;               // the installer's module: its image file
  const char* title;                // the trimmed title
  const char* screenSaverFileName;  // title + ".scr"
  DWORD installTotalBytes;          // bytes the installation writes (for Apps & Features)
};

// Runs the whole extraction and adds what it finds to `results`.
void RunExtraction(const ExtractionInputs& inputs, ExtractionResults* results);

}  // namespace installer
