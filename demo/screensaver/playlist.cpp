// Choosing the next media file from what the media layer reports.
#include "demo/screensaver/playlist.h"

#include <utility>

namespace screensaver {

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
      positionKnown_ = false;
      stillChecks_ = 0;
      std::uint32_t length = 0;
      limit_ = player_.Length(device, length) && length > 0 && length < kUnknownLengthLimit
                   ? length + kLengthSlack
                   : kUnknownLengthLimit;
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
    started_ = lastCheck_ = nowMilliseconds;
    return;
  }
  // Unsigned differences: right across the tick count's wrap.
  if (static_cast<std::uint32_t>(nowMilliseconds - lastCheck_) < kPlayingCheckInterval) return;
  lastCheck_ = nowMilliseconds;
  // Each way of giving a file up below counts as a failure, so that files
  // that never sound are not tried round and round.
  if (static_cast<std::uint32_t>(nowMilliseconds - started_) > limit_) {
    Ended(true);  // "playing" far past its length
    return;
  }
  if (!player_.IsPlaying(device_)) {
    positionKnown_ = false;
    stillChecks_ = 0;
    // Stopped without a word: it did not play, or its end went unreported.
    if (++stoppedChecks_ >= 2) Ended(true);
    return;
  }
  stoppedChecks_ = 0;
  std::uint32_t position = 0;
  if (!player_.Position(device_, position)) {
    positionKnown_ = false;
    stillChecks_ = 0;
    return;
  }
  stillChecks_ = positionKnown_ && position == position_ ? stillChecks_ + 1 : 0;
  positionKnown_ = true;
  position_ = position;
  if (stillChecks_ >= kStandingStillLooks) Ended(true);  // "playing" but not moving
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

}  // namespace screensaver
