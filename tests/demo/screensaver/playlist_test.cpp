// The demo's playlist moves on when a file ends, fails, stops without a
// word, stands still or overruns its length while "playing", and falls
// silent once every file has failed in a row.
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
  Plays,           // opens, plays until told otherwise, its position moving
  WillNotStart,    // the open or the play fails
  StopsSilently,   // opens and starts, but its device is stopped at once
  StandsStill,     // "plays" for ever at position 0 (a sequencer without output)
  NoPosition,      // plays, but cannot tell its position
};

// A media layer that plays from a script and writes down what it was asked.
class ScriptedPlayer : public screensaver::MediaPlayer {
 public:
  std::map<std::string, Behaviour> files;
  std::map<std::string, std::uint32_t> lengths;  // milliseconds; none: unknown
  std::vector<std::string> calls;

  unsigned Play(const std::string& path) override {
    const std::string name = path.substr(path.find_last_of('\\') + 1);
    if (files[path] == Behaviour::WillNotStart) {
      calls.push_back("play " + name + " failed");
      return 0;
    }
    ++lastDevice_;
    playing_[lastDevice_] = files[path] != Behaviour::StopsSilently;
    paths_[lastDevice_] = path;
    calls.push_back("play " + name + " = " + std::to_string(lastDevice_));
    return lastDevice_;
  }
  bool IsPlaying(unsigned device) override { return playing_[device]; }
  bool Length(unsigned device, std::uint32_t& milliseconds) override {
    const auto length = lengths.find(paths_[device]);
    if (length == lengths.end()) return false;
    milliseconds = length->second;
    return true;
  }
  // A moving position goes on by a second at each look.
  bool Position(unsigned device, std::uint32_t& milliseconds) override {
    const Behaviour behaviour = files[paths_[device]];
    if (behaviour == Behaviour::NoPosition) return false;
    milliseconds = behaviour == Behaviour::StandsStill ? 0 : positions_[device] += 1000;
    return true;
  }
  void Close(unsigned device) override { calls.push_back("close " + std::to_string(device)); }

 private:
  unsigned lastDevice_ = 0;
  std::map<unsigned, bool> playing_;
  std::map<unsigned, std::string> paths_;
  std::map<unsigned, std::uint32_t> positions_;
};

TEST(Playlist, TheEndOfAFileStartsTheNextAndTheLastTheFirst) {
  ScriptedPlayer player;
  screensaver::Playlist playlist(player);
  playlist.Start({kMidi, kWave});
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  // Not the device playing, or its own closing: nothing changes.
  playlist.OnNotice(screensaver::kNoticeSuccessful, 7);
  playlist.OnNotice(screensaver::kNoticeAborted, 1);
  playlist.OnNotice(screensaver::kNoticeSuperseded, 1);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  playlist.OnNotice(screensaver::kNoticeSuccessful, 1);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0024.WAV");
  playlist.OnNotice(screensaver::kNoticeSuccessful, 2);
  EXPECT_EQ(playlist.NowPlaying(), "JUKE0023.MID");
  // A device found playing at every look is left alone.
  for (std::uint32_t now = 0; now < 20000; now += 40) playlist.OnTick(now);
  playlist.Stop();
  EXPECT_EQ(playlist.NowPlaying(), "");
  EXPECT_EQ(player.calls, (std::vector<std::string>{"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2",
                                                    "close 2", "play JUKE0023.MID = 3", "close 3"}));
}

// Without a sound device a file may fail to start, fail while playing,
// stop at once without any notice, or stand still.
TEST(Playlist, FilesThatDoNotPlayAreSkippedAndAWholeRoundOfThemEndsTheMusic) {
  struct Case {
    const char* name;
    Behaviour midi, wave;
    unsigned failureNotice;  // sent for device 1 when not 0
    std::vector<std::string> calls;
    const char* playing;  // after ten seconds of frames
  } cases[] = {
      {"the melody stops silently", Behaviour::StopsSilently, Behaviour::Plays, 0,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2"}, "JUKE0024.WAV"},
      {"the melody reports a failure", Behaviour::Plays, Behaviour::Plays, screensaver::kNoticeFailure,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2"}, "JUKE0024.WAV"},
      {"the melody will not start", Behaviour::WillNotStart, Behaviour::Plays, 0,
       {"play JUKE0023.MID failed", "play JUKE0024.WAV = 1"}, "JUKE0024.WAV"},
      {"nothing starts", Behaviour::WillNotStart, Behaviour::WillNotStart, 0,
       {"play JUKE0023.MID failed", "play JUKE0024.WAV failed"}, ""},
      {"one stops silently, the other will not start", Behaviour::StopsSilently, Behaviour::WillNotStart, 0,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV failed"}, ""},
      {"both stand still", Behaviour::StandsStill, Behaviour::StandsStill, 0,
       {"play JUKE0023.MID = 1", "close 1", "play JUKE0024.WAV = 2", "close 2"}, ""},
  };
  for (const Case& c : cases) {
    ScriptedPlayer player;
    player.files = {{kMidi, c.midi}, {kWave, c.wave}};
    screensaver::Playlist playlist(player);
    playlist.Start({kMidi, kWave});
    if (c.failureNotice != 0) playlist.OnNotice(c.failureNotice, 1);
    for (std::uint32_t now = 0; now <= 10000; now += 40) playlist.OnTick(now);
    EXPECT_EQ(player.calls, c.calls) << c.name;
    EXPECT_EQ(playlist.NowPlaying(), c.playing) << c.name;
  }
}

TEST(Playlist, AStoppedDeviceIsLeftForTwoLooksASecondApartAcrossTheTickWrap) {
  ScriptedPlayer player;
  player.files = {{kMidi, Behaviour::StopsSilently}};
  screensaver::Playlist playlist(player);
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

// Under Wine without a sound device a MIDI file "plays" for ever: no
// notice comes, and the device's mode stays "playing".
TEST(Playlist, AFileThatStandsStillOrOverrunsItsLengthIsGivenUp) {
  struct Case {
    const char* name;
    Behaviour midi;
    std::uint32_t length;        // of the melody, milliseconds; 0: unknown
    std::uint32_t givenUpAfter;  // milliseconds of frames
  } cases[] = {
      // Looks at 1 s (position 0 read), 2, 3 and 4 s (three more at 0).
      {"stands still, length known", Behaviour::StandsStill, 11000, 4000},
      {"stands still, length unknown", Behaviour::StandsStill, 0, 4000},
      // The first look after 11 s plus 2 s of slack.
      {"moves past its length", Behaviour::Plays, 11000, 14000},
      {"past its length, position unknown", Behaviour::NoPosition, 11000, 14000},
      {"moves, length unknown", Behaviour::Plays, 0, screensaver::kUnknownLengthLimit + 1000},
      {"a length beyond the limit", Behaviour::Plays, screensaver::kUnknownLengthLimit + 5000,
       screensaver::kUnknownLengthLimit + 1000},
  };
  for (const Case& c : cases) {
    ScriptedPlayer player;
    player.files = {{kMidi, c.midi}};
    if (c.length != 0) player.lengths = {{kMidi, c.length}};
    screensaver::Playlist playlist(player);
    playlist.Start({kMidi, kWave});
    const std::uint32_t start = 0xFFFFF000u;  // across the tick count's wrap
    std::uint32_t elapsed = 0;
    while (playlist.NowPlaying() == "JUKE0023.MID" && elapsed <= screensaver::kUnknownLengthLimit + 10000) {
      elapsed += 40;
      playlist.OnTick(start + elapsed);
    }
    EXPECT_EQ(elapsed, c.givenUpAfter + 40) << c.name;  // the clock starts at the first tick
    EXPECT_EQ(playlist.NowPlaying(), "JUKE0024.WAV") << c.name;
    EXPECT_EQ(player.calls[1], "close 1") << c.name;
  }
}

}  // namespace
