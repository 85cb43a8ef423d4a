// Time and the thread for the timer: a monotonic clock in nanoseconds,
// absolute sleeps, the conversion of master-clock cycles to nanoseconds, and
// the start of the timer thread. monotonic.cpp is the POSIX side
// (CLOCK_MONOTONIC), monotonic_win32.cpp the Windows one.
#pragma once

#include <cstdint>
#include <functional>
#include <thread>

namespace x68timer {

inline constexpr int64_t kNsPerSecond = 1'000'000'000;

int64_t MonotonicNs();

// Sleeps until the absolute MonotonicNs time `deadline_ns`.
void SleepUntilNs(int64_t deadline_ns);

// The time `cycles` master-clock cycles take at `clock_hz`, rounded down.
// Exact for any cycle count: whole seconds and the remainder are converted
// apart, so no product overflows.
constexpr int64_t CyclesToNs(uint64_t cycles, uint32_t clock_hz) {
  const uint64_t seconds = cycles / clock_hz;
  const uint64_t rest = cycles % clock_hz;
  return static_cast<int64_t>(seconds * kNsPerSecond + rest * kNsPerSecond / clock_hz);
}

// Runs `body` on a new thread in *thread. On POSIX the new thread takes none
// of the process's signals: they belong to the caller's threads. False when
// no thread could be made.
bool StartTimerThread(std::thread* thread, std::function<void()> body);

// Called first on the timer thread. POSIX: asks for 1 ns timer slack and,
// where the system allows it, SCHED_FIFO. Windows: the highest thread
// priority and a timer for high-resolution waits. Refusals are ignored.
void PrepareTimerThread();

}  // namespace x68timer
