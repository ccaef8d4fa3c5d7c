// The installer's process-wide state.
#include "installer/installer_state.h"

HINSTANCE InstanceHandle = nullptr;
char ScreenSaverFileName[kPathBufferSize] = "";
std::uint32_t InstallTotalBytes = 0;
ExtractionResults Extracted;
