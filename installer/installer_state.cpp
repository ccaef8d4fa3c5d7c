// The installer's process-wide state.
#include "installer/installer_state.h"

namespace installer {

using format::kPathBufferSize;

HINSTANCE InstanceHandle = nullptr;
char ScreenSaverFileName[kPathBufferSize] = "";
std::uint32_t InstallTotalBytes = 0;
CommandLine Switches;
ExtractionResults Extracted;

}  // namespace installer
