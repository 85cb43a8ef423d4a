// The player's run, the same on every system; player_platform.h holds what
// each does its own way.
#include "player/run_player.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "bus/recording_port.h"
#include "opl/register_port.h"
#include "output/live_output.h"
#include "player/command_tail.h"
#include "player/file_exists.h"
#include "player/hardware_port.h"
#include "player/player_platform.h"
#include "player/read_key.h"
#include "player/song_file_name.h"
#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "songfile/song_file.h"
#include "songfile/song_file_reader.h"
#include "timer/timer_service.h"

namespace opl2 {
namespace {

// The run's state. The timer library reaches it through TickCallback.
Engine g_engine;
Song g_song;
SongFileName song_file_name{};

// Ticks and the main thread's register writes never overlap: both hold this.
std::mutex g_bus;

LiveOutput* g_live = nullptr;
LibraryTimerB g_timer;

// On the emulated chip the sound device sets the pace: a timer call runs the
// tick when the device is near enough to it, none when the device is behind,
// a second one when it is ahead (LiveOutput). Elsewhere each timer call is
// one tick.
void TickCallback() {
  std::lock_guard<std::mutex> lock(g_bus);
  if (g_live != nullptr) {
    g_live->TimerCall([] { return g_engine.seq.playing == 1; },
                      [] { return TimerBPeriodCycles(g_engine.seq.timer_b_value); },
                      [] { TimerTick(g_engine); });
  } else {
    TimerTick(g_engine);
  }
}

// The shared start-up, with the timer library started between the song
// load and the first arming.
class PlayerStart : public SongFileStart {
 public:
  using SongFileStart::SongFileStart;
  void BeforePlaying() override { StartTimerService(TickCallback); }
};

}  // namespace

void RunPlayer() {
  InstallTuning();
  InstallStopHandlers();

  const std::string tail = GetCommandTail();
  StoreSongFileName(tail, song_file_name);
  if (FileExists(song_file_name.data()) == 0) {
    // A name too long for the buffer is refused whole, never cut.
    std::printf("%s", tail.c_str());
    std::printf("%s\n", "does not exist, mister.");
    EndProcess(0);
  }

  HoldKeysForTheKeyReader();

  // The port: the real chip when asked for (Windows keeps its ports from
  // programs: Acquire says so), else the emulated one on the sound output,
  // else (no sound device) nowhere.
  static RecordingPort silent_port;
  static HardwarePort hardware_port;
  const char* port_kind = std::getenv("OPL2PLAY_PORT");
  if (port_kind != nullptr && std::strcmp(port_kind, "hardware") == 0) {
    std::string error;
    if (!HardwarePort::Acquire(&error)) {
      std::fprintf(stderr, "opl2play: %s\n", error.c_str());
      EndProcess(1);
    }
    g_engine.port = &hardware_port;
  } else if (!SongFileReader().Open(song_file_name.data())) {
    // No chip to reset: a song that cannot be read is refused before any
    // sound device is opened.
    std::fprintf(stderr, "Can't open file %s\n", song_file_name.data());
    EndProcess(1);
  } else {
    // Room for the busiest tick, a second of writes back to back and the
    // shutdown.
    static LiveOutput live(kMaxWritesPerTick + 65'536);
    if (live.Open()) {
      g_live = &live;
      g_engine.port = &live.port();
    } else {
      std::fprintf(stderr, "opl2play: no audio device (%s); playing silently\n",
                   live.error().c_str());
      g_engine.port = &silent_port;
    }
  }
  g_engine.timer = &g_timer;

  {
    // No tick can come before the first arming; holding the bus lock from
    // here keeps the first one waiting until the start-up is done. The chip
    // is reset before the song is read, which may still refuse it.
    std::lock_guard<std::mutex> lock(g_bus);
    PlayerStart start(song_file_name.data(), g_song);
    if (StartSong(g_engine, start) == LoadResult::kCannotOpen) {
      std::fprintf(stderr, "Can't open file %s\n", song_file_name.data());
      EndProcess(1);
    }
  }

  ReadKey();

  // Ticks stop before the channels are keyed off, so none can key a note on
  // again; a tick that is running finishes first.
  {
    std::lock_guard<std::mutex> lock(g_bus);
    g_engine.seq.playing = 0;
    for (int c = 0; c < kChannelCount; ++c) KeyOff(g_engine, c);
  }
  FreeTimerLibrary();
  {
    std::lock_guard<std::mutex> lock(g_bus);
    OplReset(*g_engine.port);
  }
  // The device plays the key-off, the reset and a fade to silence, and is
  // closed (its driver may hold the last samples until then); one that no
  // longer pulls is left behind, as closing it would wait for it.
  if (g_live != nullptr && g_live->Drain()) g_live->Close();
  EndProcess(0);
}

}  // namespace opl2
