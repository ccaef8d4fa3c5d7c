// winmm's MCI command interface: opening a media file by its extension or as
// a named device type succeeds when the machine's settings list the
// extension for that way of opening, and the file exists.
#include <sys/stat.h>

#include <map>

#include <mmsystem.h>

#include "exit_report.h"
#include "machine.h"
#include "names.h"

namespace hostwin {

namespace {

struct Media {
  std::map<MCIDEVICEID, std::string> open;  // device -> element
  MCIDEVICEID next = 1;
};

Media& Devices() {
  static auto& media = *new Media;
  return media;
}

std::string ExtensionOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return path.substr(dot);
}

bool Listed(const std::vector<std::string>& list, const std::string& extension) {
  for (const std::string& item : list)
    if (!extension.empty() && SameText(item, extension)) return true;
  return false;
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* parms, std::string* line) {
  if (!parms) return MCIERR_MISSING_PARAMETER;
  const bool byType = (flags & MCI_OPEN_TYPE) != 0;
  const bool withElement = (flags & MCI_OPEN_ELEMENT) != 0;
  const std::string type = byType && parms->lpstrDeviceType ? parms->lpstrDeviceType : "";
  const std::string element = withElement && parms->lpstrElementName ? parms->lpstrElementName : "";
  *line = "MCI open " + (byType ? Quoted(type) + " " : std::string()) + Quoted(element);
  if (flags & (MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT_ID | MCI_OPEN_ALIAS | MCI_NOTIFY)) return MCIERR_UNSUPPORTED_FUNCTION;
  if (!withElement || element.empty()) return MCIERR_MISSING_PARAMETER;
  const MachineSettings& s = Machine().settings;
  const std::string extension = ExtensionOf(element);
  if (byType) {
    if (!SameText(type, "MPEGVideo")) return MCIERR_INVALID_DEVICE_NAME;
  } else if (!Listed(s.mediaByExtension, extension)) {
    return MCIERR_EXTENSION_NOT_FOUND;
  }
  struct stat st;
  if (!IsMachinePath(element.c_str()) || !StatEntry(ResolvePath(element.c_str()), &st) || S_ISDIR(st.st_mode))
    return MCIERR_FILE_NOT_FOUND;
  if (byType && !Listed(s.mediaAsMpegVideo, extension)) return MCIERR_INVALID_FILE;
  parms->wDeviceID = Devices().next++;
  Devices().open[parms->wDeviceID] = element;
  return 0;
}

}  // namespace

void ReportMediaAtExit() {
  for (const auto& [device, element] : Devices().open)
    Emit("MCI device " + std::to_string(device) + " left open at exit");
}

}  // namespace hostwin

using namespace hostwin;

extern "C" {

MCIERROR WINAPI mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR parameters) {
  if (!MediaLibraryLoaded())
    Loud("mciSendCommandA called while winmm.dll is not loaded from the system directory");
  std::string line;
  MCIERROR result;
  if (message == MCI_OPEN) {
    result = Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(parameters), &line);
    line += " = " + McIErrorName(result);
    if (result == 0) line += " device " + std::to_string(reinterpret_cast<MCI_OPEN_PARMSA*>(parameters)->wDeviceID);
  } else if (message == MCI_CLOSE) {
    result = Devices().open.erase(device) ? 0 : MCIERR_INVALID_DEVICE_ID;
    line = "MCI close device " + std::to_string(device) + " = " + McIErrorName(result);
  } else {
    result = MCIERR_UNRECOGNIZED_COMMAND;
    line = "MCI command " + std::to_string(message) + " device " + std::to_string(device) + " = " +
           McIErrorName(result);
  }
  Emit(line);
  return result;
}

}  // extern "C"
