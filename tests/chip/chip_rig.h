// Drives a Chip from a chosen start state, for the fact-sheet test vectors.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <utility>

#include "chip/opl2_chip.h"

namespace opl2::testing {

using RegWrite = std::pair<uint8_t, uint8_t>;

// Counters all 0 at the vector's sample 0, an even sample.
inline Chip::Clock ZeroClock() {
  Chip::Clock c;
  c.odd = false;
  c.env_counter = 0;
  c.lfo_counter = 0;
  c.vibrato_pos = 0;
  c.tremolo = 0;
  c.tremolo_rising = true;
  return c;
}

// Sets the chip up so that `setup` writes have reached every slot long
// before sample 0 and `start` writes arrive just before sample 0. Next()
// then returns samples 0, 1, ... Because the chip runs one sample behind its
// input, a write meant to arrive before sample j has to be made once Next()
// has returned sample j - 2.
class Rig {
 public:
  Rig(std::initializer_list<RegWrite> setup, std::initializer_list<RegWrite> start,
      const Chip::Clock& clock = ZeroClock()) {
    for (const auto& [reg, value] : setup) chip.Write(reg, value);
    for (int i = 0; i < 4; ++i) chip.Sample();
    for (const auto& [reg, value] : start) chip.Write(reg, value);
    chip.Sample();  // the sample before sample 0
    chip.SetClock(clock);
  }
  // Through Generate, so that the chip's path renders it.
  int16_t Next() {
    int16_t s;
    chip.Generate(&s, 1);
    return s;
  }

  Chip chip;
};

}  // namespace opl2::testing
