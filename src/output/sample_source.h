// What a sound device plays: samples at the chip's rate, made on the
// device's own thread when it asks for them.
#pragma once

#include <cstdint>

#include "chip/chip_clock.h"

namespace opl2 {

class SampleSource {
 public:
  virtual ~SampleSource() = default;
  // Fills `out` with the next `count` samples. Called from the audio thread
  // only; must not block.
  virtual void Produce(int16_t* out, int count) = 0;
};

}  // namespace opl2
