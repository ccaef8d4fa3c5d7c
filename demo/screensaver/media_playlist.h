// Plays the installed media files one after another through MCI, starting
// over after the last, for as long as the screen saver runs.
//
// winmm.dll is loaded at run time from the system directory by its full
// path, so that a winmm.dll lying beside the screen saver is never used.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

class MediaPlaylist {
 public:
  ~MediaPlaylist();
  // Starts the first file that plays; completion notices (MM_MCINOTIFY)
  // go to `window`, which passes them to OnNotify.
  void Start(HWND window, const std::vector<std::string>& paths);
  // Moves to the next file when the current one has ended.
  void OnNotify(WPARAM flags, LPARAM device);
  void Stop();
  // The file name now playing, or empty.
  const char* NowPlaying() const;

 private:
  bool LoadMci();
  bool PlayFrom(std::size_t index);
  void CloseCurrent();

  typedef MCIERROR(WINAPI* SendCommandFunction)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
  HMODULE winmm_ = nullptr;
  SendCommandFunction sendCommand_ = nullptr;
  HWND window_ = nullptr;
  std::vector<std::string> paths_;
  std::size_t current_ = 0;
  MCIDEVICEID device_ = 0;
  std::size_t failuresInRow_ = 0;  // files that ended in failure, one after another
};
