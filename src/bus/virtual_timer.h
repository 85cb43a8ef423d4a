// Timer B on a virtual clock: arming it only records the period, and the
// driver advances time by that period before the next tick.
#pragma once

#include <cstdint>

#include "bus/timer_b.h"

namespace opl2 {

class VirtualTimerB : public TimerB {
 public:
  void Arm(uint8_t timer_b_value) override {
    period_ = TimerBPeriodCycles(timer_b_value);
    armed_ = true;
  }

  // Moves time to the next overflow. False when the timer was never armed.
  bool Advance() {
    if (!armed_) return false;
    elapsed_ += period_;
    return true;
  }

  // OPM cycles from the first arming to the current tick.
  uint64_t elapsed() const { return elapsed_; }
  // OPM cycles from the first arming to the next tick.
  uint64_t next_elapsed() const { return elapsed_ + period_; }

 private:
  uint64_t elapsed_ = 0;
  uint32_t period_ = 0;
  bool armed_ = false;
};

}  // namespace opl2
