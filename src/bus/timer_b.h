// The seam between the sequencer and whatever clocks it: every tick ends by
// arming Timer B again with the current timer_b_value.
#pragma once

#include <cstdint>

namespace opl2 {

// OPM master clock the timer runs from, in Hz.
inline constexpr uint32_t kOpmClockHz = 3'400'000;
inline constexpr uint8_t kStartTimerBValue = 180;

// Timer B overflows after 1024 * (256 - N) master-clock cycles.
constexpr uint32_t TimerBPeriodCycles(uint8_t n) {
  return 1024u * (256u - n);
}

class TimerB {
 public:
  virtual ~TimerB() = default;
  // Loads Timer B with N and starts it with its interrupt enabled.
  virtual void Arm(uint8_t timer_b_value) = 0;
};

}  // namespace opl2
