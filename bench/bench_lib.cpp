// libopl2play on a 10-minute song that keeps all 9 channels busy: seek
// times back into rendered time (p50 and max over many seeks, goal 10 ms),
// forward seeks into time not rendered yet and plain reading as multiples
// of real time, and the memory of the saved states per minute of song.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "engine/busy_song.h"
#include "lib/song_reader.h"
#include "opl2play/opl2play.h"

namespace opl2::test {
namespace {

constexpr double kSongSeconds = 600;

opl2_song* OpenBusy(int rate) {
  static const Bytes song = BusySong();
  opl2_settings s;
  opl2_default_settings(&s);
  s.sample_rate = rate;
  s.loops = -1;
  s.fade_seconds = 0;
  s.max_seconds = kSongSeconds;
  return opl2_open(song.data(), song.size(), &s, nullptr, 0);
}

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// This thread's CPU time, which other load on a shared machine does not
// inflate.
double ThreadCpu() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// Each iteration: one seek backwards from the end of the rendered song to a
// random time, timed on its own.
void BM_BackwardSeekInARenderedSong(benchmark::State& state) {
  opl2_song* song = OpenBusy(static_cast<int>(state.range(0)));
  opl2_seek(song, kSongSeconds);  // renders it all once
  std::mt19937 rng(1);
  std::vector<double> times;
  std::vector<double> cpu_times;
  for (auto _ : state) {
    const double target = std::uniform_real_distribution<double>(0, kSongSeconds - 1)(rng);
    const double start = Now();
    const double cpu_start = ThreadCpu();
    if (opl2_seek(song, target) != 0) state.SkipWithError("seek failed");
    cpu_times.push_back(ThreadCpu() - cpu_start);
    times.push_back(Now() - start);
    state.PauseTiming();
    opl2_seek(song, kSongSeconds);
    state.ResumeTiming();
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu_times.begin(), cpu_times.end());
  state.counters["p50_ms"] = 1e3 * times[times.size() / 2];
  state.counters["max_ms"] = 1e3 * times.back();
  state.counters["cpu_p50_ms"] = 1e3 * cpu_times[cpu_times.size() / 2];
  state.counters["cpu_max_ms"] = 1e3 * cpu_times.back();
  opl2_close(song);
}
BENCHMARK(BM_BackwardSeekInARenderedSong)
    ->Arg(0)
    ->Arg(48'000)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond);

// A fresh song, sought to its end: every second of it rendered for the
// first time (and its states saved).
void BM_ForwardSeekIntoUnrenderedTime(benchmark::State& state) {
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    opl2_song* song = OpenBusy(0);
    state.ResumeTiming();
    opl2_seek(song, kSongSeconds);
    seconds += kSongSeconds;
    state.PauseTiming();
    opl2_close(song);
    state.ResumeTiming();
  }
  state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ForwardSeekIntoUnrenderedTime)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Reading the whole song from the start, at the chip's rate and at 48 kHz.
void BM_Read(benchmark::State& state) {
  std::vector<float> block(4096);
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    opl2_song* song = OpenBusy(static_cast<int>(state.range(0)));
    state.ResumeTiming();
    size_t frames = 0;
    for (size_t n; (n = opl2_read_f32(song, block.data(), block.size())) > 0;) frames += n;
    seconds += static_cast<double>(frames) / opl2_sample_rate(song);
    state.PauseTiming();
    opl2_close(song);
    state.ResumeTiming();
  }
  state.counters["x_realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Read)
    ->Arg(0)
    ->Arg(48'000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The saved states of the whole song, per minute of it.
void BM_SnapshotMemory(benchmark::State& state) {
  const Bytes bytes = BusySong();
  RenderOptions options;
  options.loops = -1;
  options.fade_seconds = 0;
  options.max_seconds = kSongSeconds;
  std::string error;
  for (auto _ : state) {
    const auto reader = SongReader::Open(bytes, 0, options, &error);
    reader->Seek(reader->Length());
    const SongStream& stream = reader->stream();
    state.counters["kib_per_minute"] =
        static_cast<double>(stream.snapshot_bytes()) / 1024 / (kSongSeconds / 60);
    state.counters["snapshots"] = static_cast<double>(stream.snapshot_count());
    state.counters["snapshot_bytes"] = sizeof(RenderSnapshot);
  }
}
BENCHMARK(BM_SnapshotMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace opl2::test

BENCHMARK_MAIN();
