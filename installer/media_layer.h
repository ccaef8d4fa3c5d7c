// The multimedia layer (winmm.dll), loaded at run time from the system
// directory by its full path. winmm is not one of the DLLs that Windows
// always takes from the system directory, so a static import could pick up
// a copy lying beside the installer in a download folder.
#pragma once

#include <windows.h>

namespace installer {

// Loads winmm.dll and looks up mciSendCommandA; false when either fails.
bool LoadMediaLayer();
void FreeMediaLayer();

// mciSendCommandA of the loaded layer; MCIERR_CANNOT_LOAD_DRIVER when the
// layer is not loaded, so that every open fails and nothing counts as
// playable.
MCIERROR SendMediaCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters);

}  // namespace installer
