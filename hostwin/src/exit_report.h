// What the machine notices when the program ends: memory blocks not freed,
// libraries not released, media devices left open.
#pragma once

namespace hostwin {

void ReportMemoryAtExit();
void ReportLibrariesAtExit();
void ReportMediaAtExit();

// Whether winmm.dll is loaded (from the system directory) right now.
bool MediaLibraryLoaded();

}  // namespace hostwin
