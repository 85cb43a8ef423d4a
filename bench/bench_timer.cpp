// Timer service figures: the cost of the four arm calls, and how closely the
// timer library's ticks follow their ideal times (lateness p50/p99/max and
// drift) at N = 180 over 30 s and N = 255 over 10 s.
//
// OPL2_TIMER_BENCH_SCALE scales the two long runs (0.1 gives 3 s and 1 s).
// The timer library is looked for beside this program (build's bin folder).
#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bus/timer_b.h"
#include "timer/library_call.h"
#include "timer/timer_service.h"

namespace {

using opl2::kOpmClockHz;
using opl2::TimerBPeriodCycles;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int64_t CyclesToNs(uint64_t cycles) {
  return static_cast<int64_t>(cycles / kOpmClockHz * 1'000'000'000 +
                              cycles % kOpmClockHz * 1'000'000'000 / kOpmClockHz);
}

// Filled by the tick routine, sized before the timer starts.
struct TickTimes {
  std::vector<int64_t> ns;
  std::atomic<size_t> count{0};
  std::atomic<int> fifo{-1};
  uint8_t n = 180;
};
TickTimes g_times;

void RecordTick() {
  const int64_t now = NowNs();
  const size_t k = g_times.count.load(std::memory_order_relaxed);
  if (k == 0) g_times.fifo = sched_getscheduler(0) == SCHED_FIFO ? 1 : 0;
  if (k < g_times.ns.size()) {
    g_times.ns[k] = now;
    g_times.count.store(k + 1, std::memory_order_release);
  }
  opl2::LibraryTimerB().Arm(g_times.n);  // as every tick of the player does
}

int64_t Percentile(std::vector<int64_t> values, double fraction) {
  if (values.empty()) return 0;
  const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
  std::nth_element(values.begin(), values.begin() + index, values.end());
  return values[index];
}

double Scale() {
  const char* text = std::getenv("OPL2_TIMER_BENCH_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 1.0;
  return scale > 0 ? scale : 1.0;
}

void BM_TimerLateness(benchmark::State& state) {
  const auto n = static_cast<uint8_t>(state.range(0));
  const double seconds = static_cast<double>(state.range(1)) * Scale();
  const int64_t period_ns = CyclesToNs(TimerBPeriodCycles(n));
  const auto expected = static_cast<size_t>(seconds * 1e9 / static_cast<double>(period_ns));

  for (auto _ : state) {
    g_times.ns.assign(expected + 1000, 0);
    g_times.count = 0;
    g_times.n = n;
    opl2::StartTimerService(&RecordTick);
    const int64_t armed_ns = NowNs();
    opl2::LibraryTimerB().Arm(n);
    std::this_thread::sleep_for(std::chrono::nanoseconds(static_cast<int64_t>(seconds * 1e9)));
    opl2::FreeTimerLibrary();

    const size_t ticks = g_times.count.load(std::memory_order_acquire);
    std::vector<int64_t> lateness(ticks);
    int early = 0;
    for (size_t k = 0; k < ticks; ++k) {
      lateness[k] = g_times.ns[k] - (armed_ns + CyclesToNs((k + 1) * TimerBPeriodCycles(n)));
      if (lateness[k] < 0) ++early;
    }
    // Drift: where the last tenth of the ticks sits against the first tenth.
    const size_t tenth = std::max<size_t>(1, ticks / 10);
    const auto first = std::vector<int64_t>(lateness.begin(), lateness.begin() + tenth);
    const auto last = std::vector<int64_t>(lateness.end() - tenth, lateness.end());
    const int64_t drift_ns = ticks > 0 ? Percentile(last, 0.5) - Percentile(first, 0.5) : 0;

    state.counters["ticks"] = static_cast<double>(ticks);
    state.counters["ticks_expected"] = static_cast<double>(expected);
    state.counters["late_p50_us"] = Percentile(lateness, 0.50) / 1e3;
    state.counters["late_p99_us"] = Percentile(lateness, 0.99) / 1e3;
    state.counters["late_max_us"] = Percentile(lateness, 1.0) / 1e3;
    state.counters["drift_us"] = drift_ns / 1e3;
    state.counters["early"] = early;
    state.counters["fifo"] = g_times.fifo.load();
  }
}

// The four calls of one arming: a look-up of library and routine per call.
void BM_ArmCalls(benchmark::State& state) {
  opl2::SetTimerLibraryClock();
  opl2::LibraryTimerB timer;
  for (auto _ : state) timer.Arm(180);
  opl2::FreeTimerLibrary();
}

// A routine the library lacks: all three names are looked up in vain.
void BM_CallMissingRoutine(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(opl2::CallLibraryFunction("X68Sound_NoSuchRoutine", "x68sound.dll"));
  }
}

}  // namespace

BENCHMARK(BM_ArmCalls);
BENCHMARK(BM_CallMissingRoutine);
BENCHMARK(BM_TimerLateness)
    ->Args({180, 30})
    ->Args({255, 10})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
