// The extraction that the progress dialog runs once: every payload entry
// written to its destination, each destination logged in INSTALL.LOG, the
// uninstaller registered, each media file checked with the multimedia
// layer, and, when everything was written whole and plays, the screen saver
// made the system's screen saver.
#pragma once

// Runs the whole extraction. Reads ScreenSaverTitle (trimmed) and
// ScreenSaverFileName; fills UnsupportedTypes and the list of failed files
// (app/installer_state.h).
void RunExtraction();
