// Opening, playing, watching and closing media files through MCI.
#include "demo/screensaver/mci_player.h"

#include "core/text/bounded_text.h"

using text::AppendText;

namespace screensaver {

static_assert(kNoticeSuccessful == MCI_NOTIFY_SUCCESSFUL && kNoticeSuperseded == MCI_NOTIFY_SUPERSEDED &&
                  kNoticeAborted == MCI_NOTIFY_ABORTED && kNoticeFailure == MCI_NOTIFY_FAILURE,
              "the playlist's notices are MCI's");

MciPlayer::~MciPlayer() {
  if (winmm_) FreeLibrary(winmm_);
}

bool MciPlayer::LoadMci() {
  if (sendCommand_) return true;
  if (winmm_) return false;  // loaded before, without the function
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || !AppendText(path, "\\winmm.dll")) return false;
  winmm_ = LoadLibraryA(path);
  if (!winmm_) return false;
  sendCommand_ = reinterpret_cast<SendCommandFunction>(
      reinterpret_cast<void*>(GetProcAddress(winmm_, "mciSendCommandA")));
  return sendCommand_ != nullptr;
}

unsigned MciPlayer::Play(const std::string& path) {
  if (!LoadMci()) return 0;
  MCI_OPEN_PARMSA open = {};
  open.lpstrElementName = path.c_str();
  // By the file's extension first; then as the media player's device,
  // which plays most compressed formats.
  MCIERROR error = sendCommand_(0, MCI_OPEN, MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
  if (error != 0) {
    open = MCI_OPEN_PARMSA{};
    open.lpstrDeviceType = "MPEGVideo";
    open.lpstrElementName = path.c_str();
    error = sendCommand_(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&open));
  }
  if (error != 0) return 0;
  // Lengths and positions in milliseconds; a device that will not is
  // watched without them (its Length and Position then fail).
  MCI_SET_PARMS format = {};
  format.dwTimeFormat = MCI_FORMAT_MILLISECONDS;
  timeInMilliseconds_ =
      sendCommand_(open.wDeviceID, MCI_SET, MCI_SET_TIME_FORMAT, reinterpret_cast<DWORD_PTR>(&format)) == 0;
  MCI_PLAY_PARMS play = {};
  play.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
  if (sendCommand_(open.wDeviceID, MCI_PLAY, MCI_NOTIFY, reinterpret_cast<DWORD_PTR>(&play)) != 0) {
    Close(open.wDeviceID);
    return 0;
  }
  return open.wDeviceID;
}

bool MciPlayer::Status(unsigned device, DWORD item, DWORD& value) {
  if (!sendCommand_ || device == 0) return false;
  MCI_STATUS_PARMS status = {};
  status.dwItem = item;
  if (sendCommand_(device, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)) != 0) return false;
  value = static_cast<DWORD>(status.dwReturn);
  return true;
}

bool MciPlayer::Length(unsigned device, std::uint32_t& milliseconds) {
  DWORD value = 0;
  if (!timeInMilliseconds_ || !Status(device, MCI_STATUS_LENGTH, value)) return false;
  milliseconds = value;
  return true;
}

bool MciPlayer::Position(unsigned device, std::uint32_t& milliseconds) {
  DWORD value = 0;
  if (!timeInMilliseconds_ || !Status(device, MCI_STATUS_POSITION, value)) return false;
  milliseconds = value;
  return true;
}

bool MciPlayer::IsPlaying(unsigned device) {
  DWORD mode = 0;
  if (!Status(device, MCI_STATUS_MODE, mode)) return false;
  // Getting ready, seeking to the start or paused count as playing. The
  // mode is in the low word (a driver may return its resource id above).
  switch (LOWORD(mode)) {
    case MCI_MODE_PLAY:
    case MCI_MODE_NOT_READY:
    case MCI_MODE_SEEK:
    case MCI_MODE_PAUSE: return true;
    default: return false;
  }
}

void MciPlayer::Close(unsigned device) {
  if (!sendCommand_ || device == 0) return;
  MCI_GENERIC_PARMS close = {};
  sendCommand_(device, MCI_CLOSE, MCI_WAIT, reinterpret_cast<DWORD_PTR>(&close));
}

}  // namespace screensaver
