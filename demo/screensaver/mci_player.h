// The demo screen saver's media layer: MCI through winmm.dll, which is
// loaded at run time from the system directory by its full path, so that a
// winmm.dll lying beside the screen saver is never used.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <string>

#include "demo/screensaver/playlist.h"

namespace screensaver {

class MciPlayer : public MediaPlayer {
 public:
  // Notices of a file's end (MM_MCINOTIFY) go to `window`.
  explicit MciPlayer(HWND window) : window_(window) {}
  ~MciPlayer() override;
  MciPlayer(const MciPlayer&) = delete;
  MciPlayer& operator=(const MciPlayer&) = delete;

  unsigned Play(const std::string& path) override;
  bool IsPlaying(unsigned device) override;
  bool Length(unsigned device, std::uint32_t& milliseconds) override;
  bool Position(unsigned device, std::uint32_t& milliseconds) override;
  void Close(unsigned device) override;

 private:
  bool LoadMci();
  bool Status(unsigned device, DWORD item, DWORD& value);

  typedef MCIERROR(WINAPI* SendCommandFunction)(MCIDEVICEID, UINT, DWORD_PTR, DWORD_PTR);
  HWND window_;
  HMODULE winmm_ = nullptr;
  SendCommandFunction sendCommand_ = nullptr;
  // The file playing took MCI_FORMAT_MILLISECONDS (one file plays at a time).
  bool timeInMilliseconds_ = false;
};

}  // namespace screensaver
