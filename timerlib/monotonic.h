// Time for the timer thread: CLOCK_MONOTONIC in nanoseconds, absolute sleeps,
// and the conversion of master-clock cycles to nanoseconds.
#pragma once

#include <cstdint>

namespace x68timer {

inline constexpr int64_t kNsPerSecond = 1'000'000'000;

int64_t MonotonicNs();

// Sleeps until the absolute CLOCK_MONOTONIC time `deadline_ns`.
void SleepUntilNs(int64_t deadline_ns);

// The time `cycles` master-clock cycles take at `clock_hz`, rounded down.
// Exact for any cycle count: whole seconds and the remainder are converted
// apart, so no product overflows.
constexpr int64_t CyclesToNs(uint64_t cycles, uint32_t clock_hz) {
  const uint64_t seconds = cycles / clock_hz;
  const uint64_t rest = cycles % clock_hz;
  return static_cast<int64_t>(seconds * kNsPerSecond + rest * kNsPerSecond / clock_hz);
}

// Asks for 1 ns timer slack and, where the system allows it, SCHED_FIFO for
// the calling thread. Refusals are ignored.
void PrepareTimerThread();

}  // namespace x68timer
