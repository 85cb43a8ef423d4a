// Render speed of the chip emulator, as a multiple of real time at the
// chip's native rate: a dense stream (all 9 channels sounding) on the default
// path, then dense, sparse (one channel playing a scale) and silent streams
// on every path the machine runs.
#include <benchmark/benchmark.h>
#include <time.h>

#include <fstream>
#include <sstream>
#include <string>

#include "chip/chip_path.h"
#include "chip/opl2_chip.h"
#include "chip/reg_stream.h"

namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

opl2::RegStream LoadStream(const char* name) {
  const std::string path = std::string(OPL2_TEST_DATA_DIR) + "/opl2-reference/" + name + ".regs";
  std::ifstream in(path);
  std::ostringstream ss;
  ss << in.rdbuf();
  opl2::RegStream stream;
  std::string error;
  if (!in || !opl2::ParseRegStream(ss.str(), &stream, &error)) stream.total_samples = 0;
  return stream;
}

// Renders `stream` on `chip` for every iteration and sets the counters.
void RenderRepeatedly(benchmark::State& state, const opl2::RegStream& stream, opl2::Chip& chip) {
  int64_t checksum = 0;
  const double cpu_start = ThreadCpuSeconds();
  for (auto _ : state) {
    opl2::RenderRegStream(stream, chip, [&checksum](const int16_t* s, size_t n) {
      for (size_t i = 0; i < n; i += 257) checksum += s[i];
    });
    benchmark::DoNotOptimize(checksum);
  }
  const double cpu_seconds = ThreadCpuSeconds() - cpu_start;
  const double audio_seconds = static_cast<double>(stream.total_samples) / opl2::kChipSampleRate *
                               static_cast<double>(state.iterations());
  // Audio seconds per wall second (kIsRate divides by the measured real
  // time), and per second of this thread's CPU time, which other load on a
  // shared machine does not inflate.
  state.counters["x_realtime"] = benchmark::Counter(audio_seconds, benchmark::Counter::kIsRate);
  state.counters["x_realtime_cpu"] = audio_seconds / cpu_seconds;
  state.counters["samples"] = static_cast<double>(stream.total_samples);
}

void BM_ChipRenderAll9(benchmark::State& state) {
  const opl2::RegStream stream = LoadStream("speed_all9");
  if (stream.total_samples == 0) {
    state.SkipWithError("cannot load speed_all9.regs");
    return;
  }
  opl2::Chip chip;
  state.SetLabel(opl2::ChipPathName(chip.Path()));
  RenderRepeatedly(state, stream, chip);
}
BENCHMARK(BM_ChipRenderAll9)->Unit(benchmark::kMillisecond)->UseRealTime();

// Args: stream (0 dense, 1 sparse, 2 silent: 10 s with nothing written),
// path (index into SupportedChipPaths()).
void BM_ChipRender(benchmark::State& state) {
  const auto paths = opl2::SupportedChipPaths();
  const auto path_index = static_cast<size_t>(state.range(1));
  if (path_index >= paths.size()) {
    state.SkipWithError("path not supported here");
    return;
  }
  opl2::RegStream stream;
  if (state.range(0) == 2) {
    stream.commands.push_back({opl2::RegCommand::Kind::kAdvance, 0, 0, 497159});
    stream.total_samples = 497159;
  } else {
    stream = LoadStream(state.range(0) == 0 ? "speed_all9" : "s01_default_scale");
  }
  if (stream.total_samples == 0) {
    state.SkipWithError("cannot load the stream");
    return;
  }
  opl2::Chip chip;
  chip.SetPath(paths[path_index]);
  state.SetLabel(std::string(state.range(0) == 0   ? "dense "
                             : state.range(0) == 1 ? "sparse "
                                                   : "silent ") +
                 opl2::ChipPathName(chip.Path()));
  RenderRepeatedly(state, stream, chip);
}
BENCHMARK(BM_ChipRender)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One sample at a time through the public API, the way a live port drives it.
void BM_ChipSample(benchmark::State& state) {
  opl2::Chip chip;
  const uint8_t offsets[9] = {0x00, 0x01, 0x02, 0x08, 0x09, 0x0A, 0x10, 0x11, 0x12};
  chip.Write(0x01, 0x20);
  for (int ch = 0; ch < 9; ++ch) {
    const uint8_t m = offsets[ch];
    for (uint8_t op : {m, static_cast<uint8_t>(m + 3)}) {
      chip.Write(0x20 + op, 0x21);
      chip.Write(0x40 + op, 0x10);
      chip.Write(0x60 + op, 0xF2);
      chip.Write(0x80 + op, 0x24);
    }
    chip.Write(0xC0 + ch, 0x0C);
  }
  chip.Sample();
  chip.Sample();
  for (int ch = 0; ch < 9; ++ch) {
    chip.Write(0xA0 + ch, 0x40 + ch * 20);
    chip.Write(0xB0 + ch, 0x31);
  }
  for (auto _ : state) benchmark::DoNotOptimize(chip.Sample());
  state.counters["x_realtime"] = benchmark::Counter(
      static_cast<double>(state.iterations()) / opl2::kChipSampleRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ChipSample);

}  // namespace

BENCHMARK_MAIN();
