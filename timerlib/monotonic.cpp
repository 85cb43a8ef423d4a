#include "monotonic.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace x68timer {
namespace {

// Above ordinary threads, well below what audio servers and the kernel's own
// real-time threads use.
constexpr int kFifoPriorityAboveMinimum = 9;

}  // namespace

int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void SleepUntilNs(int64_t deadline_ns) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(deadline_ns / kNsPerSecond);
  ts.tv_nsec = static_cast<long>(deadline_ns % kNsPerSecond);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

bool StartTimerThread(std::thread* thread, std::function<void()> body) {
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  bool started = true;
  try {
    *thread = std::thread(std::move(body));
  } catch (const std::system_error&) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

void PrepareTimerThread() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
  const int lowest = sched_get_priority_min(SCHED_FIFO);
  if (lowest < 0) return;
  sched_param param{};
  param.sched_priority = lowest + kFifoPriorityAboveMinimum;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace x68timer
