// Choosing the next media file from what the media layer reports.
#include "demo/screensaver/playlist.h"

#include <utility>

namespace demo {

void Playlist::Start(std::vector<std::string> paths) {
  Stop();
  paths_ = std::move(paths);
  failuresInRow_ = 0;
  PlayFrom(0);
}

void Playlist::PlayFrom(std::size_t index) {
  while (!paths_.empty() && failuresInRow_ < paths_.size()) {
    const std::size_t i = index % paths_.size();
    const unsigned device = player_.Play(paths_[i]);
    if (device != 0) {
      device_ = device;
      current_ = i;
      checkTimeKnown_ = false;
      stoppedChecks_ = 0;
      return;
    }
    ++failuresInRow_;
    index = i + 1;
  }
}

void Playlist::Ended(bool failed) {
  player_.Close(device_);
  device_ = 0;
  failuresInRow_ = failed ? failuresInRow_ + 1 : 0;
  PlayFrom(current_ + 1);
}

void Playlist::OnNotice(unsigned notice, unsigned device) {
  if (device_ == 0 || device != device_) return;
  if (notice == kNoticeSuccessful) Ended(false);
  else if (notice == kNoticeFailure) Ended(true);
}

void Playlist::OnTick(std::uint32_t nowMilliseconds) {
  if (device_ == 0) return;
  if (!checkTimeKnown_) {
    checkTimeKnown_ = true;
    lastCheck_ = nowMilliseconds;
    return;
  }
  // Unsigned difference: right across the tick count's wrap.
  if (static_cast<std::uint32_t>(nowMilliseconds - lastCheck_) < kPlayingCheckInterval) return;
  lastCheck_ = nowMilliseconds;
  if (player_.IsPlaying(device_)) {
    stoppedChecks_ = 0;
    return;
  }
  // Stopped without a word: it did not play (or its end went unreported),
  // which counts as a failure, so that files that never sound are not
  // tried round and round.
  if (++stoppedChecks_ >= 2) Ended(true);
}

void Playlist::Stop() {
  if (device_ != 0) player_.Close(device_);
  device_ = 0;
  paths_.clear();
}

std::string_view Playlist::NowPlaying() const {
  if (device_ == 0 || current_ >= paths_.size()) return {};
  std::string_view path = paths_[current_];
  const std::size_t slash = path.find_last_of('\\');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace demo
