// The OPL2 bus on the chip's own time line, kept exactly in integers.
//
// Tick k starts at master clock M_k = floor(C_k * 3,579,545 / 3,400,000),
// C_k being the OPM cycles of the Timer B periods before it. Each register
// write takes 104 master clocks of bus time (its address write, data write
// and 42 status reads); write j of a tick happens at M_k + 104 j and is
// applied before sample floor(clock / 72) + 1. A tick whose writes run past
// the next tick's start runs on; the next tick's writes follow them.
#pragma once

#include <cstdint>

#include "bus/timer_b.h"
#include "chip/chip_clock.h"

namespace opl2 {

inline constexpr uint64_t kMasterClocksPerWrite = 104;

// Master clock at which a tick starts, from the OPM cycles before it.
constexpr uint64_t TickStartClock(uint64_t opm_cycles) {
  return opm_cycles * kMasterClockHz / kOpmClockHz;
}

class BusTimeline {
 public:
  // The next writes belong to a tick that starts after `opm_cycles`.
  void BeginTick(uint64_t opm_cycles) {
    const uint64_t start = TickStartClock(opm_cycles);
    if (start > cursor_) cursor_ = start;
  }

  // Master clock of the next write; takes its bus time.
  uint64_t NextWriteClock() {
    const uint64_t clock = cursor_;
    cursor_ += kMasterClocksPerWrite;
    return clock;
  }

  // The sample before which a write made at `clock` is applied.
  static constexpr uint64_t SampleOfWrite(uint64_t clock) {
    return clock / kMasterClocksPerSample + 1;
  }

  uint64_t cursor() const { return cursor_; }

 private:
  uint64_t cursor_ = 0;
};

}  // namespace opl2
