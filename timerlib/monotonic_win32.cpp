#include <windows.h>

#include <atomic>
#include <system_error>
#include <utility>

#include "monotonic.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace x68timer {
namespace {

// A wait that ends this close before its deadline is finished by spinning:
// another wait could not be shorter than the timer's resolution.
constexpr int64_t kSpinNs = 50'000;

int64_t CounterFrequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  return frequency;
}

// The timer thread's own waitable timer, made by PrepareTimerThread.
class ThreadTimer {
 public:
  ~ThreadTimer() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE get() {
    if (handle_ == nullptr) Make();
    return handle_;
  }

 private:
  void Make() {
    // High resolution where the system has it (Windows 10 1803 and later),
    // else an ordinary timer, whose resolution timeBeginPeriod(1) sets.
    handle_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                     TIMER_ALL_ACCESS);
    if (handle_ == nullptr) handle_ = CreateWaitableTimerW(nullptr, FALSE, nullptr);
  }
  HANDLE handle_ = nullptr;
};

thread_local ThreadTimer t_timer;

void AskForMillisecondTimers() {
  static std::atomic<bool> asked{false};
  if (!asked.exchange(true)) timeBeginPeriod(1);
}

}  // namespace

int64_t MonotonicNs() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  const int64_t frequency = CounterFrequency();
  const int64_t seconds = now.QuadPart / frequency;
  const int64_t rest = now.QuadPart % frequency;
  return seconds * kNsPerSecond + rest * kNsPerSecond / frequency;
}

void SleepUntilNs(int64_t deadline_ns) {
  int64_t left = deadline_ns - MonotonicNs();
  if (left > kSpinNs) {
    const HANDLE timer = t_timer.get();
    LARGE_INTEGER due;
    due.QuadPart = -((left + 99) / 100);  // relative, in 100 ns units
    if (timer != nullptr && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
      WaitForSingleObject(timer, INFINITE);
    } else {
      Sleep(static_cast<DWORD>(left / 1'000'000));
    }
    left = deadline_ns - MonotonicNs();
  }
  while (left > 0 && left <= kSpinNs) {
    YieldProcessor();
    left = deadline_ns - MonotonicNs();
  }
}

bool StartTimerThread(std::thread* thread, std::function<void()> body) {
  try {
    *thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void PrepareTimerThread() {
  AskForMillisecondTimers();
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  t_timer.get();
}

}  // namespace x68timer
