// timer_drift [SECONDS] [N]: X68Sound.dll driven as the player drives it
// (the start calls, then every tick re-arms Timer B with N), for SECONDS
// (default 10) at N (default 180). Prints the tick count against the ideal,
// the drift and the lateness of the ticks, and exits with status 1 when a
// tick is missing or early, or the ticks drift off their schedule.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bus/timer_b.h"
#include "timer/library_call.h"
#include "timer/timer_service.h"

namespace {

using opl2::kOpmClockHz;
using opl2::TimerBPeriodCycles;

// How far the ticks of the last tenth of the run may lag those of the first
// tenth (medians): a schedule of absolute deadlines does not drift, one of
// relative sleeps falls behind by its lateness at every tick. And how early a
// tick may seem (the two clocks read apart), though none should be. Lateness
// itself is only reported: a loaded machine makes it what it likes.
constexpr int64_t kMaxDriftNs = 5'000'000;
constexpr int64_t kMaxEarlyNs = 100'000;
// Ticks missing at the end may be those still late by up to this much.
constexpr int64_t kMaxMissingNs = 100'000'000;

int64_t NowNs() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart / frequency * 1'000'000'000 +
         now.QuadPart % frequency * 1'000'000'000 / frequency;
}

int64_t CyclesToNs(uint64_t cycles) {
  return static_cast<int64_t>(cycles / kOpmClockHz * 1'000'000'000 +
                              cycles % kOpmClockHz * 1'000'000'000 / kOpmClockHz);
}

std::vector<int64_t> g_tick_ns;
std::atomic<size_t> g_ticks{0};
uint8_t g_n = 180;

void Tick() {
  const int64_t now = NowNs();
  const size_t k = g_ticks.load(std::memory_order_relaxed);
  if (k < g_tick_ns.size()) g_tick_ns[k] = now;
  g_ticks.store(k + 1, std::memory_order_release);
  opl2::LibraryTimerB().Arm(g_n);
}

int64_t Percentile(std::vector<int64_t> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()))];
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  g_n = static_cast<uint8_t>(argc > 2 ? std::atoi(argv[2]) : 180);
  const uint64_t period_cycles = TimerBPeriodCycles(g_n);
  const auto expected = static_cast<size_t>(seconds * kOpmClockHz / period_cycles);
  g_tick_ns.assign(expected + 1000, 0);

  opl2::StartTimerService(Tick);
  const int64_t armed_ns = NowNs();
  opl2::LibraryTimerB().Arm(g_n);
  // Half a period after the last ideal tick: it has come, the next has not.
  const int64_t end_ns = armed_ns + CyclesToNs(period_cycles * expected + period_cycles / 2);
  while (NowNs() < end_ns) Sleep(10);
  opl2::FreeTimerLibrary();

  const size_t ticks = std::min(g_ticks.load(), expected + 1000);
  if (ticks == 0) {
    std::printf("timer: no tick at all (is X68Sound.dll beside this program?)\n");
    return 1;
  }
  std::vector<int64_t> late;
  for (size_t k = 0; k < std::min(ticks, expected); ++k) {
    late.push_back(g_tick_ns[k] - (armed_ns + CyclesToNs(period_cycles * (k + 1))));
  }
  const size_t tenth = std::max<size_t>(1, late.size() / 10);
  const int64_t drift =
      Percentile(std::vector<int64_t>(late.end() - static_cast<std::ptrdiff_t>(tenth), late.end()),
                 0.5) -
      Percentile(
          std::vector<int64_t>(late.begin(), late.begin() + static_cast<std::ptrdiff_t>(tenth)),
          0.5);
  const int64_t p50 = Percentile(late, 0.5);
  const int64_t p99 = Percentile(late, 0.99);
  const int64_t worst = *std::max_element(late.begin(), late.end());
  const int64_t earliest = *std::min_element(late.begin(), late.end());
  std::printf(
      "timer: N=%u over %.1f s: %zu ticks (ideal %zu); drift %+.3f ms; lateness p50 %.3f ms, "
      "p99 %.3f ms, max %.3f ms, earliest %+.3f ms\n",
      static_cast<unsigned>(g_n), seconds, ticks, expected, drift / 1e6, p50 / 1e6, p99 / 1e6,
      worst / 1e6, earliest / 1e6);
  // Every tick up to the end has come, but for those that may still be late;
  // none has come before its time.
  const int64_t period_ns = CyclesToNs(period_cycles);
  const bool count_ok =
      ticks <= expected && static_cast<int64_t>(expected - ticks) * period_ns <= kMaxMissingNs;
  const bool on_time = std::abs(drift) <= kMaxDriftNs && earliest >= -kMaxEarlyNs;
  if (!count_ok) std::printf("timer: FAILED: the tick count is off the ideal\n");
  if (!on_time) std::printf("timer: FAILED: ticks early or drifting off their schedule\n");
  return count_ok && on_time ? 0 : 1;
}
