// The demo's playlist moves on when a file ends, fails, or stops without
// a word, and falls silent once every file has failed in a row.
#include "demo/screensaver/playlist.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr char kMidi[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\JUKE0023.MID";
constexpr char kWave[] = "C:\\WINDOWS\\MARLOWEN\\VELDRAKE\\Saverkit Aurora\\JUKE0024.WAV";

// How a file behaves in the scripted media layer.
enum class Behaviour {
  Plays,           // opens, plays until told otherwise
  WillNotStart,    // the open or the play fails
  StopsSilently,   // opens and starts, but its device is stopped at once
};

// A media layer that plays from a script and writes down what it was asked.
class ScriptedPlayer : public demo::MediaPlayer {
 public:
  std::map<std::string, Behaviour> files;
  std::vector<std::string> calls;

  unsigned Play(const std::string& path) override {
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    if (files[path] == Behaviour::WillNotStart) {
      calls.push_back("play " + name + " failed");
      return 0;
    }
    ++lastDevice_;
    playing_[lastDevice_] = files[path] == Behaviour::Plays;
    calls.push_back("play " + name + " = " + std::to_string(lastDevice_));
    return lastDevice_;
  }
  bool IsPlaying(unsigned device) override { return playing_[device]; }
  void Close(unsigned device) override { calls.push_back("close " + std::to_string(device)); }

 private:
  unsigned lastDevice_ = 0;
  std::map<unsigned, bool> playing_;
};

TEST(Playlist, TheEndOfAFileStartsTheNextAndTheLastTheFirst) {
  ScriptedPlayer player;
  demo::Playlist playlist(player);
  playlist.Start({kMidi, kWave});
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  // Not the device playing, or its own closing: nothing changes.
  playlist.OnNotice(demo::kNoticeSuccessful, 7);
  playlist.OnNotice(demo::kNoticeAborted, 1);
  playlist.OnNotice(demo::kNoticeSuperseded, 1);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  playlist.OnNotice(demo::kNoticeSuccessful, 1);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0024.WAV");
  playlist.OnNotice(demo::kNoticeSuccessful, 2);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  // A device found playing at every look is left alone.
  for (std::uint32_t now = 0; now < 20000; now += 40) playlist.OnTick(now);
  playlist.Stop();
  EXPECT_EQ(playlist.NowPlaying(), "");
  EXPECT_EQ(player.calls, (std::vector<std::string>{"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2",
                                                    "close 2", "play JUKE0023.MID = 3", "close 3"}));
}

// Without a sound device a file may fail to start, fail while playing, or
// start and stop at once without any notice.
TEST(Playlist, FilesThatDoNotPlayAreSkippedAndAWholeRoundOfThemEndsTheMusic) {
  struct Case {
    const char* name;
    Behaviour midi, wave;
    unsigned failureNotice;  // sent for device 1 when not 0
    std::vector<std::string> calls;
    const char* playing;  // after two seconds of frames
  } cases[] = {
      {"the melody stops silently", Behaviour::StopsSilently, Behaviour::Plays, 0,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2"}, "JUKE0024.WAV"},
      {"the melody reports a failure", Behaviour::Plays, Behaviour::Plays, demo::kNoticeFailure,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2"}, "JUKE0024.WAV"},
      {"the melody will not start", Behaviour::WillNotStart, Behaviour::Plays, 0,
       {"play JUKE0023.MID failed", "play JUKE0024.WAV = 1"}, "JUKE0024.WAV"},
      {"nothing starts", Behaviour::WillNotStart, Behaviour::WillNotStart, 0,
       {"play JUKE0023.MID failed", "play JUKE0024.WAV failed"}, ""},
      {"one stops silently, the other will not start", Behaviour::StopsSilently, Behaviour::WillNotStart, 0,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV failed"}, ""},
  };
  for (const Case& c : cases) {
    ScriptedPlayer player;
    player.files = {{kMidi, c.midi}, {kWave, c.wave}};
    demo::Playlist playlist(player);
    playlist.Start({kMidi, kWave});
    if (c.failureNotice != 0) playlist.OnNotice(c.failureNotice, 1);
    for (std::uint32_t now = 0; now <= 2000; now += 40) playlist.OnTick(now);
    EXPECT_EQ(player.calls, c.calls) << c.name;
    EXPECT_EQ(playlist.NowPlaying(), c.playing) << c.name;
  }
}

TEST(Playlist, AStoppedDeviceIsLeftForTwoLooksASecondApartAcrossTheTickWrap) {
  ScriptedPlayer player;
  player.files = {{kMidi, Behaviour::StopsSilently}};
  demo::Playlist playlist(player);
  playlist.Start({kMidi, kWave});
  const std::uint32_t start = 0xFFFFFC00u;  // 1024 ms before the tick count wraps
  playlist.OnTick(start);                   // the clock starts
  playlist.OnTick(start + 999);             // too early for a look
  playlist.OnTick(start + 1000);            // first look: stopped
  playlist.OnTick(start + 1999);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  playlist.OnTick(start + 2000);  // second look, past the wrap
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0024.WAV");
}

}  // namespace
