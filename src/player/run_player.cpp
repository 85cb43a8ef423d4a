#include "player/run_player.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "bus/recording_port.h"
#include "opl/register_port.h"
#include "output/live_output.h"
#include "player/command_tail.h"
#include "player/console_key_reader.h"
#include "player/file_exists.h"
#include "player/hardware_port.h"
#include "player/key_wait_stop.h"
#include "player/raw_terminal.h"
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
uint64_t g_elapsed_cycles = 0;  // OPM cycles from the first arming to this tick
uint32_t g_period_cycles = 0;   // the period the last arming set

std::atomic<int> g_stop_signals{0};

// Arms the library's Timer B and keeps the song's time line in step.
class PlayerTimerB : public TimerB {
 public:
  void Arm(uint8_t timer_b_value) override {
    g_period_cycles = TimerBPeriodCycles(timer_b_value);
    library_.Arm(timer_b_value);
  }

 private:
  LibraryTimerB library_;
};
PlayerTimerB g_timer;

void TickCallback() {
  std::lock_guard<std::mutex> lock(g_bus);
  g_elapsed_cycles += g_period_cycles;
  if (g_live != nullptr) g_live->BeginTick(g_elapsed_cycles);
  TimerTick(g_engine);
}

// The shared start-up, with the timer library started between the song
// load and the first arming.
class PlayerStart : public SongFileStart {
 public:
  using SongFileStart::SongFileStart;
  void BeforePlaying() override { StartTimerService(TickCallback); }
};

// Ctrl+C, SIGTERM and SIGHUP end playback through the normal shutdown; a
// second one ends the process at once.
void OnStopSignal(int) {
  RestoreConsoleMode();
  if (g_stop_signals.fetch_add(1) > 0) _exit(0);
  StopKeyWait();
}

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

[[noreturn]] void EndProcess(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  _exit(status);
}

}  // namespace

void RunPlayer() {
  InstallTuning();
  InstallStopSignals();
  KeyWaitStopFd();  // the stop pipe exists before any signal can need it

  const std::string tail = GetCommandTail();
  StoreSongFileName(tail, song_file_name);
  if (FileExists(song_file_name.data()) == 0) {
    // A name too long for the buffer is refused whole, never cut.
    std::printf("%s", tail.c_str());
    std::printf("%s\n", "does not exist, mister.");
    EndProcess(0);
  }

  // A song that cannot be read is refused before any sound device is opened.
  if (!SongFileReader().Open(song_file_name.data())) {
    std::fprintf(stderr, "Can't open file %s\n", song_file_name.data());
    EndProcess(1);
  }

  // The port: the real chip when asked for, else the emulated one on the
  // sound output, else (no sound device) nowhere.
  static RecordingPort silent_port;
  static HardwarePort hardware_port;
  static LiveOutput live;
  const char* port_kind = std::getenv("OPL2PLAY_PORT");
  if (port_kind != nullptr && std::strcmp(port_kind, "hardware") == 0) {
    std::string error;
    if (!HardwarePort::Acquire(&error)) {
      std::fprintf(stderr, "opl2play: %s\n", error.c_str());
      EndProcess(1);
    }
    g_engine.port = &hardware_port;
  } else if (live.Open()) {
    g_live = &live;
    g_engine.port = &live.port();
  } else {
    std::fprintf(stderr, "opl2play: no audio device (%s); playing silently\n",
                 live.error().c_str());
    g_engine.port = &silent_port;
  }
  g_engine.timer = &g_timer;

  {
    // No tick can come before the first arming; holding the bus lock from
    // here keeps the first one waiting until the start-up is done.
    std::lock_guard<std::mutex> lock(g_bus);
    PlayerStart start(song_file_name.data(), g_song);
    if (StartSong(g_engine, start) == LoadResult::kCannotOpen) {
      live.Close();
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
  live.Drain();
  EndProcess(0);
}

}  // namespace opl2
