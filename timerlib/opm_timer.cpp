#include "opm_timer.h"

#include <algorithm>
#include <utility>

#include "monotonic.h"

namespace x68timer {
namespace {

// The longest single sleep, so that Free and register writes are seen soon
// even while a long period runs out.
constexpr int64_t kMaxSleepNs = 4'000'000;
// Later than this, the schedule starts afresh instead of catching up.
constexpr int64_t kReanchorLateNs = kNsPerSecond;

constexpr uint8_t kControlIrqEnableB = 0x08;
constexpr uint8_t kControlLoadB = 0x02;

bool IsCaller(const std::thread& thread) {
  return thread.get_id() == std::this_thread::get_id();
}

}  // namespace

OpmTimer::~OpmTimer() {
  Free();
}

int OpmTimer::SetClock(uint32_t clock_hz) {
  if (clock_hz == 0) return 1;
  std::lock_guard lock(mutex_);
  if (timer_b_running_) {
    // Keep the pending overflow where it is and count on from there.
    anchor_ns_ = DueNs();
    due_cycles_ = 0;
  }
  clock_hz_ = clock_hz;
  return 0;
}

int OpmTimer::Start() {
  std::thread old;
  {
    std::lock_guard lock(mutex_);
    if (started_) return 1;
    selected_ = 0;
    timer_b_load_ = 0;
    timer_b_running_ = false;
    timer_b_irq_ = false;
    const uint64_t epoch = epoch_;
    if (!StartTimerThread(&worker_, [this, epoch] { Run(epoch); })) return 2;
    started_ = true;
    old = std::move(retired_);
  }
  JoinOrPark(std::move(old));
  return 0;
}

void OpmTimer::SetInterrupt(TimerRoutine routine) {
  std::lock_guard lock(mutex_);
  routine_ = routine;
}

void OpmTimer::SelectRegister(uint8_t reg) {
  std::lock_guard lock(mutex_);
  selected_ = reg;
}

void OpmTimer::Write(uint8_t value) {
  std::lock_guard lock(mutex_);
  if (selected_ == kTimerBLoadRegister) {
    timer_b_load_ = value;
  } else if (selected_ == kTimerControlRegister) {
    WriteControl(value);
  }
}

void OpmTimer::WriteControl(uint8_t value) {
  // Bit 5 clears the Timer B overflow flag, which is not kept: nothing here
  // reads the status.
  timer_b_irq_ = (value & kControlIrqEnableB) != 0;
  const bool load = (value & kControlLoadB) != 0;
  if (load && !timer_b_running_) {
    timer_b_running_ = true;
    anchor_ns_ = MonotonicNs();
    due_cycles_ = TimerBPeriodCycles(timer_b_load_);
    ++schedule_;
    wake_.notify_all();
  } else if (!load && timer_b_running_) {
    timer_b_running_ = false;
    wake_.notify_all();
  }
}

void OpmTimer::Free() {
  std::thread worker;
  std::thread retired;
  {
    std::lock_guard lock(mutex_);
    started_ = false;
    routine_ = nullptr;
    timer_b_running_ = false;
    timer_b_irq_ = false;
    ++epoch_;
    worker = std::move(worker_);
    retired = std::move(retired_);
    wake_.notify_all();
    callback_done_.notify_all();
  }
  JoinOrPark(std::move(retired));
  JoinOrPark(std::move(worker));
}

void OpmTimer::JoinOrPark(std::thread thread) {
  if (!thread.joinable()) return;
  if (IsCaller(thread)) {
    // A thread cannot join itself: it ends when its call returns, and the
    // next Start or Free joins it.
    std::lock_guard lock(mutex_);
    std::swap(retired_, thread);
  }
  // Either the thread asked for, or one parked before: its epoch is over, so
  // it is ending and never calls the routine again.
  if (thread.joinable() && !IsCaller(thread)) thread.join();
}

int64_t OpmTimer::DueNs() const {
  return anchor_ns_ + CyclesToNs(due_cycles_, clock_hz_);
}

void OpmTimer::Run(uint64_t epoch) {
  PrepareTimerThread();
  std::unique_lock lock(mutex_);
  while (epoch_ == epoch) {
    if (!timer_b_running_) {
      wake_.wait(lock);
      continue;
    }
    const int64_t due = DueNs();
    const int64_t now = MonotonicNs();
    if (now < due) {
      const int64_t until = std::min(due, now + kMaxSleepNs);
      lock.unlock();
      SleepUntilNs(until);
      lock.lock();
      continue;  // look again: the registers or Free may have changed things
    }
    if (now - due > kReanchorLateNs) {
      anchor_ns_ = now;
      due_cycles_ = 0;
    }
    const uint64_t schedule = schedule_;
    if (timer_b_irq_ && routine_ != nullptr) {
      if (in_callback_) {
        // A thread stopped from inside its own call has not returned yet.
        callback_done_.wait(lock);
        continue;
      }
      const TimerRoutine routine = routine_;
      in_callback_ = true;
      lock.unlock();
      routine();
      lock.lock();
      in_callback_ = false;
      callback_done_.notify_all();
    }
    // A restart during the call has set its own first deadline.
    if (timer_b_running_ && schedule_ == schedule) {
      due_cycles_ += TimerBPeriodCycles(timer_b_load_);
    }
  }
}

}  // namespace x68timer
