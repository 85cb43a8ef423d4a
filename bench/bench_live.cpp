// The live path as the player runs it: the timer library's thread ticks a
// busy song (every channel sounding, one note held throughout) into the live
// output, and SDL plays it: the disk driver into a temporary file unless
// SDL_AUDIODRIVER names another. After OPL2_LIVE_BENCH_SECONDS (default 10)
// a key is pressed as in the player: ticks stop, the channels are keyed off,
// the timer is freed, the chip reset, the output drained.
//
// Counters: ticks run, ticks held back (the device was behind) and run as
// extra (the device was ahead), underruns (the timer fell behind the device
// and the time line jumped), late writes while playing and lost writes;
// key_to_sound_ms, where the key-off lands against where the device was at
// the key (below 0: it sounds at once, and late_at_key counts the shutdown's
// writes stamped before the device's position); drain_ms, the shutdown from
// the key to the drained device; load, the load average at the start.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "engine/busy_song.h"
#include "opl/register_port.h"
#include "output/live_output.h"
#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "songfile/song_file.h"
#include "timer/timer_service.h"

namespace {

using namespace opl2;

std::mutex g_bus;
Engine* g_engine = nullptr;
LiveOutput* g_live = nullptr;

void Tick() {
  std::lock_guard<std::mutex> lock(g_bus);
  Engine& e = *g_engine;
  g_live->TimerCall([&] { return e.seq.playing == 1; },
                    [&] { return TimerBPeriodCycles(e.seq.timer_b_value); }, [&] { TimerTick(e); });
}

class BenchStart : public SongFileStart {
 public:
  using SongFileStart::SongFileStart;
  void BeforePlaying() override { StartTimerService(&Tick); }
};

double Seconds() {
  const char* text = std::getenv("OPL2_LIVE_BENCH_SECONDS");
  const double seconds = text != nullptr ? std::atof(text) : 10.0;
  return seconds > 0 ? seconds : 10.0;
}

void BM_LivePlay(benchmark::State& state) {
  const std::string capture = "/tmp/opl2-bench-live-" + std::to_string(getpid()) + ".raw";
  setenv("SDL_AUDIODRIVER", "disk", 0);
  setenv("SDL_DISKAUDIOFILE", capture.c_str(), 0);
  test::TempFile song(test::SustainedOverBusyChannels(180));
  for (auto _ : state) {
    double load = 0;
    getloadavg(&load, 1);
    auto engine = std::make_unique<Engine>();
    auto storage = std::make_unique<Song>();
    auto live = std::make_unique<LiveOutput>(kMaxWritesPerTick + 65'536);
    if (!live->Open()) {
      state.SkipWithError(("no audio device: " + live->error()).c_str());
      return;
    }
    LibraryTimerB timer;
    engine->port = &live->port();
    engine->timer = &timer;
    g_engine = engine.get();
    g_live = live.get();
    {
      std::lock_guard<std::mutex> lock(g_bus);
      BenchStart start(song.path(), *storage);
      StartSong(*engine, start);
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(Seconds()));

    const auto pressed = std::chrono::steady_clock::now();
    int64_t key_to_sound = 0;
    LiveOutput::Counters played;
    {
      std::lock_guard<std::mutex> lock(g_bus);
      engine->seq.playing = 0;
      played = live->counters();
      key_to_sound = live->LeadOfNextWrite();
      for (int c = 0; c < kChannelCount; ++c) KeyOff(*engine, c);
    }
    FreeTimerLibrary();
    OplReset(*engine->port);
    const bool drained = live->Drain();
    const double drain_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - pressed)
            .count();
    if (drained) live->Close();

    const LiveOutput::Counters n = live->counters();
    state.counters["ticks"] = static_cast<double>(n.ticks);
    state.counters["held"] = static_cast<double>(n.held);
    state.counters["extra"] = static_cast<double>(n.extra);
    state.counters["underruns"] = static_cast<double>(n.reanchors);
    state.counters["late_writes"] = static_cast<double>(played.late_writes);
    state.counters["late_at_key"] = static_cast<double>(n.late_writes - played.late_writes);
    state.counters["lost_writes"] = static_cast<double>(n.lost_writes);
    state.counters["key_to_sound_ms"] =
        1000.0 * static_cast<double>(key_to_sound) / kChipSampleRate;
    state.counters["drain_ms"] = drain_ms;
    state.counters["load"] = load;
  }
  unlink(capture.c_str());
}

}  // namespace

BENCHMARK(BM_LivePlay)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
