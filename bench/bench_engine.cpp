// Cost of one TimerTick on a port that discards, for songs that keep every
// channel busy.
#include <benchmark/benchmark.h>

#include "engine/busy_song.h"

namespace opl2::test {
namespace {

class DiscardPort : public Port {
 public:
  void Out(uint16_t, uint8_t value) override { sum += value; }
  uint8_t In(uint16_t, int) override { return 0x06; }
  unsigned sum = 0;
};

class NullTimer : public TimerB {
 public:
  void Arm(uint8_t) override {}
};

// Every channel slides over six octaves and back, 4 steps (8 writes) a tick.
Bytes SlidingSong() {
  std::array<Bytes, kChannelCount> tracks;
  for (int c = 0; c < kChannelCount; ++c) {
    const uint8_t low = static_cast<uint8_t>(0x10 + c);
    const uint8_t high = static_cast<uint8_t>(0x70 + c);
    tracks[c] = {0xF6, 0xFD, 0x70, 0xDA, low, high, 0xFF, 0xDA, high, low, 0xFF, 0x80};
  }
  return BuildSong(tracks);
}

void RunTicks(benchmark::State& state, const Bytes& song) {
  DiscardPort port;
  NullTimer timer;
  auto engine = std::make_unique<Engine>();
  engine->port = &port;
  engine->timer = &timer;
  auto loaded = std::make_unique<Song>();
  if (LoadSong(song, *loaded) != LoadResult::kLoaded) {
    state.SkipWithError("song did not load");
    return;
  }
  StartSong(*engine, loaded.get());
  for (int i = 0; i < 16; ++i) TimerTick(*engine);  // past the first rows
  for (auto _ : state) {
    TimerTick(*engine);
  }
  benchmark::DoNotOptimize(port.sum);
  state.SetItemsProcessed(state.iterations());
}

void BM_TimerTickSlidingOnEveryChannel(benchmark::State& state) {
  RunTicks(state, SlidingSong());
}
BENCHMARK(BM_TimerTickSlidingOnEveryChannel);

void BM_TimerTickBusySong(benchmark::State& state) {
  RunTicks(state, BusySong());
}
BENCHMARK(BM_TimerTickBusySong);

// The longest tick the 2^24-event bound on a closing row allows to repeat: every
// channel reads a row that closes just below the guard on every tick, loops
// of 255, 255 and 128 around `body` (two events a pass: the body and the
// innermost loop end), then a note of length 1, and back to the loop point.
Bytes LongestRowSong(const Bytes& body) {
  Bytes track = {0xF6, 0xF9, 0, 0, 0xF9, 0, 0, 0xF9, 0, 0};
  track.insert(track.end(), body.begin(), body.end());
  for (uint8_t count : {128, 255, 255}) track.insert(track.end(), {0xF8, count, 0, 0, 0});
  track.insert(track.end(), {0x40, 0x01, 0x80});
  std::array<Bytes, kChannelCount> tracks;
  tracks.fill(track);
  return BuildSong(tracks);
}

// About 16.7 million events a channel, 150 million a tick; no writes.
void BM_LongestTickOfReservedCodes(benchmark::State& state) {
  RunTicks(state, LongestRowSong({0xF4}));
}
BENCHMARK(BM_LongestTickOfReservedCodes)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same with an instrument change as the body: a key-off and nine patch
// writes each, 750 million register writes a tick.
void BM_LongestTickOfInstrumentChanges(benchmark::State& state) {
  RunTicks(state, LongestRowSong({0xFF, 0x01}));
}
BENCHMARK(BM_LongestTickOfInstrumentChanges)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace opl2::test

BENCHMARK_MAIN();
