// The order in which the demo screen saver plays its media files, decided
// from what the media layer reports: the next file when one ends or fails,
// the first again after the last, and silence once every file has failed
// in a row. A media layer without a sound device may never send the notice
// of a file's end, and may even report a file as playing for ever, so the
// device is looked at once a second: a file is given up when its device
// has stopped, when its position stands still while it "plays", or when it
// has played well past its length. Plain C++ over a MediaPlayer (MCI on
// Windows, a script in tests).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace screensaver {

// What the playlist asks of the media layer. A device is an MCI device id;
// 0 is none.
class MediaPlayer {
 public:
  virtual ~MediaPlayer() = default;
  // Opens `path` and starts playing it, asking for a notice at its end
  // (Playlist::OnNotice). The device, or 0 when the file cannot be opened
  // or started (then nothing stays open).
  virtual unsigned Play(const std::string& path) = 0;
  // True while the device plays or gets ready to; false once it has
  // stopped, or when it cannot tell.
  virtual bool IsPlaying(unsigned device) = 0;
  // The file's length and the device's position in it, in milliseconds;
  // false when the device cannot tell.
  virtual bool Length(unsigned device, std::uint32_t& milliseconds) = 0;
  virtual bool Position(unsigned device, std::uint32_t& milliseconds) = 0;
  virtual void Close(unsigned device) = 0;
};

// The notices of MM_MCINOTIFY's wParam (the values of MCI_NOTIFY_*).
constexpr unsigned kNoticeSuccessful = 0x0001;
constexpr unsigned kNoticeSuperseded = 0x0002;
constexpr unsigned kNoticeAborted = 0x0004;
constexpr unsigned kNoticeFailure = 0x0008;

// Milliseconds between two looks at the playing device; a file ends
// without a notice when two looks in a row find its device stopped (one
// may come between the end and its notice).
constexpr std::uint32_t kPlayingCheckInterval = 1000;
// Looks in a row that find a "playing" device at the same position before
// its file is given up (a sequencer that could not reach its output).
constexpr int kStandingStillLooks = 3;
// Milliseconds a file may play past its length before it is given up, and
// how long a file of unknown length may play.
constexpr std::uint32_t kLengthSlack = 2000;
constexpr std::uint32_t kUnknownLengthLimit = 30 * 60 * 1000;

class Playlist {
 public:
  explicit Playlist(MediaPlayer& player) : player_(player) {}
  ~Playlist() { Stop(); }
  Playlist(const Playlist&) = delete;
  Playlist& operator=(const Playlist&) = delete;

  // Plays the first of `paths` that starts (full paths, in playing order).
  void Start(std::vector<std::string> paths);
  // MM_MCINOTIFY: `notice` (wParam) about `device` (lParam). Only the end
  // or failure of the file now playing moves on; "superseded" and
  // "aborted" come from the playlist's own closing.
  void OnNotice(unsigned notice, unsigned device);
  // Called often (every frame) with the tick count in milliseconds, which
  // may wrap around.
  void OnTick(std::uint32_t nowMilliseconds);
  // Closes the file now playing; nothing plays after it.
  void Stop();
  // The name of the file now playing (after its last backslash), or "".
  std::string_view NowPlaying() const;

 private:
  // Plays the files from `index` on, wrapping around, until one starts or
  // every file has failed in a row.
  void PlayFrom(std::size_t index);
  void Ended(bool failed);

  MediaPlayer& player_;
  std::vector<std::string> paths_;
  std::size_t current_ = 0;
  unsigned device_ = 0;
  std::size_t failuresInRow_ = 0;  // files that did not play, one after another
  bool checkTimeKnown_ = false;    // started_ and lastCheck_ set since the file started
  std::uint32_t started_ = 0;      // tick count of the first tick after the file started
  std::uint32_t lastCheck_ = 0;
  std::uint32_t limit_ = 0;        // milliseconds the file may play, from its length
  int stoppedChecks_ = 0;          // looks in a row that found the device stopped
  bool positionKnown_ = false;     // position_ read at the last look
  std::uint32_t position_ = 0;
  int stillChecks_ = 0;            // looks in a row that found it playing at position_
};

}  // namespace screensaver
