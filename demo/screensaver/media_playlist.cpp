// Playing the installed media files in turn through MCI.
#include "demo/screensaver/media_playlist.h"

#include "base/bounded_text.h"

MediaPlaylist::~MediaPlaylist() {
  Stop();
  if (winmm_) FreeLibrary(winmm_);
}

bool MediaPlaylist::LoadMci() {
  if (sendCommand_) return true;
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !AppendText(path, "\\winmm.dll")) return false;
  winmm_ = LoadLibraryA(path);
  if (!winmm_) return false;
  sendCommand_ = reinterpret_cast<SendCommandFunction>(
      reinterpret_cast<void*>(GetProcAddress(winmm_, "mciSendCommandA")));
  return sendCommand_ != nullptr;
}

void MediaPlaylist::Start(HWND window, const std::vector<std::string>& paths) {
  Stop();
  window_ = window;
  paths_ = paths;
  failuresInRow_ = 0;
  if (paths_.empty() || !LoadMci()) return;
  PlayFrom(0);
}

// Opens and plays the files from `index` on, wrapping around, until one
// starts; gives up after trying each once.
bool MediaPlaylist::PlayFrom(std::size_t index) {
  for (std::size_t tried = 0; tried < paths_.size(); ++tried) {
    const std::size_t i = (index + tried) % paths_.size();
    MCI_OPEN_PARMSA open = {};
    open.lpstrElementName = paths_[i].c_str();
    // By the file's extension first; then as the media player's device,
    // which plays most compressed formats.
    MCIERROR error = sendCommand_(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    if (error != 0) {
      open = MCI_OPEN_PARMSA{};
      open.lpstrDeviceType = "MPEGVideo";
      open.lpstrElementName = paths_[i].c_str();
      error = sendCommand_(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
    }
    if (error != 0) continue;
    MCI_PLAY_PARMS play = {};
    play.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
    if (sendCommand_(open.wDeviceID, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play)) != 0) {
      MCI_GENERIC_PARMS close = {};
      sendCommand_(open.wDeviceID, MCI_CLOSE, 0, reinterpret_cast<DWORD_PTR>(&close));
      continue;
    }
    device_ = open.wDeviceID;
    current_ = i;
    return true;
  }
  return false;
}

void MediaPlaylist::CloseCurrent() {
  if (device_ == 0 || !sendCommand_) return;
  MCI_GENERIC_PARMS close = {};
  sendCommand_(device_, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
  device_ = 0;
}

void MediaPlaylist::OnNotify(WPARAM flags, LPARAM device) {
  // Only the end of the current file moves on; "superseded" and "aborted"
  // come from our own stop and close.
  if (device_ == 0 || static_cast<MCIDEVICEID>(device) != device_) return;
  if (flags != MCI_NOTIFY_SUCCESSFUL && flags != MCI_NOTIFY_FAILURE) return;
  CloseCurrent();
  // Files that open but fail while playing would otherwise be retried in
  // an endless round: after a whole round of failures, the music stops.
  failuresInRow_ = flags == MCI_NOTIFY_FAILURE ? failuresInRow_ + 1 : 0;
  if (failuresInRow_ >= paths_.size()) return;
  PlayFrom(current_ + 1);
}

void MediaPlaylist::Stop() {
  CloseCurrent();
  paths_.clear();
}

const char* MediaPlaylist::NowPlaying() const {
  if (device_ == 0 || current_ >= paths_.size()) return "";
  const std::string& path = paths_[current_];
  const std::size_t slash = path.find_last_of('\\');
  return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}
