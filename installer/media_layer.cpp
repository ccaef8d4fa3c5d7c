// Loading winmm.dll from the system directory only.
#include "installer/media_layer.h"

#include "core/text/bounded_text.h"
#include "core/format/install_names.h"

namespace installer {

using format::AppendBackslashIfMissing;
using text::AppendText;

namespace {

typedef MCIERROR(WINAPI* MciSendCommandFunction)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);

HMODULE MediaLibrary = nullptr;
MciSendCommandFunction MciSendCommand = nullptr;

}  // namespace

bool LoadMediaLayer() {
  if (MciSendCommand != nullptr) return true;
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, sizeof path);
  if (length == 0 || length >= sizeof path) return false;
  if (!AppendBackslashIfMissing(path, sizeof path) || !AppendText(path, "winmm.dll")) return false;
  MediaLibrary = LoadLibraryA(path);
  if (MediaLibrary == nullptr) return false;
  // Through void(*)(), the one function type that casts to any other.
  MciSendCommand = reinterpret_cast<MciSendCommandFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(MediaLibrary, "mciSendCommandA")));
  if (MciSendCommand == nullptr) FreeMediaLayer();
  return MciSendCommand != nullptr;
}

void FreeMediaLayer() {
  if (MediaLibrary != nullptr) FreeLibrary(MediaLibrary);
  MediaLibrary = nullptr;
  MciSendCommand = nullptr;
}

MCIERROR SendMediaCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters) {
  if (MciSendCommand == nullptr) return MCIERR_CANNOT_LOAD_DRIVER;
  return MciSendCommand(device, message, flags, parameters);
}

}  // namespace installer
