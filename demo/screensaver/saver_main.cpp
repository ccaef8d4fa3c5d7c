// The demo screen saver's entry point: reads how Windows started it, finds
// its data file and media files where the installer put them, and runs the
// full screen, the preview or the settings note.
#include <windows.h>

#include <string>
#include <vector>

#include "demo/screensaver/saver_command_line.h"
#include "demo/screensaver/saver_files.h"
#include "demo/screensaver/saver_window.h"
#include "demo/win32paths/win32_paths.h"
#include "core/format/install_names.h"

using format::kDataFileExtension;

namespace screensaver {

namespace {

struct SaverPlaces {
  std::string Title;
  std::string TitleDirectory;
  std::string DataFile;
  bool DataFileFound = false;
};

// The screen saver may have been started by its short (8.3) path, as the
// installer does, so its own file name is taken in long form to learn the title.
SaverPlaces FindPlaces() {
  SaverPlaces places;
  char module[MAX_PATH];
  char windows[MAX_PATH];
  const DWORD moduleLength = GetModuleFileNameA(nullptr, module, MAX_PATH);
  const UINT windowsLength = GetWindowsDirectoryA(windows, MAX_PATH);
  if (moduleLength == 0 || moduleLength >= MAX_PATH || windowsLength == 0 || windowsLength >= MAX_PATH)
    return places;
  char longModule[MAX_PATH];
  places.Title = TitleFromModulePath(win32paths::LongPathForm(module, longModule, sizeof longModule) ? longModule
                                                                                                    : module);
  if (places.Title.empty()) return places;
  places.TitleDirectory = TitleDirectoryFor(windows, places.Title);
  places.DataFile = DataFilePathFor(windows, places.Title);
  return places;
}

// The data file is read whole up to its size limit; a missing or damaged
// file leaves the defaults.
settings::DemoSettings ReadSettings(SaverPlaces* places) {
  if (places->DataFile.empty()) return settings::DemoSettings();
  HANDLE file = CreateFileA(places->DataFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return settings::DemoSettings();
  std::string text(settings::kMaxDataFileBytes, '\0');
  DWORD read = 0;
  const BOOL ok = ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
  CloseHandle(file);
  if (!ok) return settings::DemoSettings();
  places->DataFileFound = true;
  text.resize(read);
  return settings::ParseDemoSettings(text);
}

std::vector<std::string> FindMedia(const SaverPlaces& places) {
  std::vector<std::string> paths;
  if (places.TitleDirectory.empty()) return paths;
  std::string pattern = places.TitleDirectory + "\\*";
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return paths;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
  } while (FindNextFileA(search, &found) && names.size() < 1000);
  FindClose(search);
  const std::string dataFileName = places.Title + kDataFileExtension;
  for (const std::string& name : SelectMediaFiles(names, dataFileName))
    paths.push_back(places.TitleDirectory + "\\" + name);
  return paths;
}

// Started with no argument (as the installer does right after installing)
// the note also offers to show the screen saver at once; answers true for Yes.
bool ShowSettingsNote(HWND owner, const SaverPlaces& places, const SaverSetup& setup, bool offerShow) {
  std::string note = "This screen saver shows northern lights and the message of its data file.\n\n";
  if (places.DataFileFound) {
    note += "Data file:\n" + places.DataFile + "\n\n";
    note += "Edit it to change what is shown: message=, background=#RRGGBB, foreground=#RRGGBB, "
            "aurora=#RRGGBB and speed= (1 to 9).\n\n";
  } else {
    note += "Its data file was not found";
    if (!places.DataFile.empty()) note += ":\n" + places.DataFile;
    note += "\nThe built-in message and colours are shown.\n\n";
  }
  note += setup.MediaPaths.empty() ? std::string("No media files lie beside it.")
                                   : std::to_string(setup.MediaPaths.size()) +
                                         " media file(s) beside it play in turn while it runs.";
  if (offerShow) note += "\n\nShow it now?";
  const std::string caption = (places.Title.empty() ? std::string("Screen Saver") : places.Title) + " Settings";
  const UINT buttons = offerShow ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONINFORMATION;
  return MessageBoxA(owner, note.c_str(), caption.c_str(), buttons) == IDYES;
}

}  // namespace

}  // namespace screensaver

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  win32paths::RestrictDllSearchToSystem();
  const screensaver::SaverCommand command = screensaver::ParseSaverCommandLine(commandLine ? commandLine : "");
  if (command.Mode == screensaver::SaverMode::kPassword) return 0;  // no password of its own

  screensaver::SaverPlaces places = screensaver::FindPlaces();
  screensaver::SaverSetup setup;
  setup.Settings = screensaver::ReadSettings(&places);
  setup.MediaPaths = screensaver::FindMedia(places);
  setup.Title = places.Title;

  switch (command.Mode) {
    case screensaver::SaverMode::kFullScreen:
      return screensaver::RunFullScreen(instance, setup);
    case screensaver::SaverMode::kPreview:
      if (command.Window == 0) return 0;
      return screensaver::RunPreview(instance, setup, reinterpret_cast<HWND>(command.Window));
    default: {
      HWND owner = reinterpret_cast<HWND>(command.Window);
      const bool offerShow = !command.Explicit;
      if (screensaver::ShowSettingsNote(IsWindow(owner) ? owner : nullptr, places, setup, offerShow))
        return screensaver::RunFullScreen(instance, setup);
      return 0;
    }
  }
}
