// The chip's global counters (envelope clock, LFOs) and its two timers,
// stepped one sample at a time or advanced over many samples at once.
#pragma once

#include <cstdint>

namespace opl2 {

// Global counters that pace the envelopes and the LFOs, as seen by the next
// sample the chip computes.
struct ChipClock {
  bool odd = true;           // parity of the sample
  uint32_t env_counter = 1;  // 18-bit envelope counter, never 0 after a wrap
  uint16_t lfo_counter = 2;  // 10-bit LFO counter
  uint8_t vibrato_pos = 0;   // 0-7
  uint8_t tremolo = 1;       // 0-105
  bool tremolo_rising = true;
};

// Moves the counters on by one sample. Returns true when the vibrato
// position changed.
inline bool StepClock(ChipClock& c) {
  constexpr uint32_t kEnvCounterWrap = 1u << 18;
  c.odd = !c.odd;
  if (!c.odd && ++c.env_counter == kEnvCounterWrap) c.env_counter = 1;
  c.lfo_counter = (c.lfo_counter + 1) & 1023;
  if ((c.lfo_counter & 63) == 1) {
    if (c.tremolo_rising) {
      if (++c.tremolo == 105) c.tremolo_rising = false;
    } else {
      if (--c.tremolo == 0) c.tremolo_rising = true;
    }
  }
  if (c.lfo_counter != 0) return false;
  c.vibrato_pos = (c.vibrato_pos + 1) & 7;
  return true;
}

// Moves the counters on by n samples, exactly as n calls of StepClock.
void AdvanceClock(ChipClock& c, uint64_t n);

// Samples, counting the next one, that share its vibrato position.
inline uint32_t SamplesToVibratoStep(const ChipClock& c) {
  return 1024u - c.lfo_counter;
}

// The two timers: timer 1 counts every 4 samples, timer 2 every 16; each
// sets its flag (unless masked) when it passes 255, then reloads.
struct ChipTimers {
  uint8_t count[2] = {0, 0};
  uint32_t tick = 0;  // samples since reset, wrapping
  uint8_t flags = 0;  // status bits 6 (timer 1) and 5 (timer 2)

  // Moves the timers on by n samples under control register `control`
  // (0x04) and start values `reload` (0x02, 0x03).
  void Advance(uint64_t n, uint8_t control, const uint8_t reload[2]);
};

}  // namespace opl2
