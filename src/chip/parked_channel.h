// Skipping a silent channel: both of its slots parked, so it adds nothing to
// the output. Its phases still run, and its modulator's feedback history
// (the last two outputs, 0 or -1 once parked) must come out exactly as if
// every sample had been computed. Internal to the chip emulator.
#pragma once

#include <cstdint>

#include "chip/opl2_slot.h"
#include "chip/opl2_tables.h"

namespace opl2::detail {

// What a parked modulator's output depends on.
struct ParkedModulator {
  uint32_t phase = 0;  // shifted as in Slot
  uint32_t inc = 0;
  int waveform = 0;
  int fb_shift = 0;
  int fb_mask = 0;
  int32_t out1 = 0, out2 = 0;
};

// One sample of a parked modulator, as the slot computes it.
inline void StepParkedModulator(const Tables& t, ParkedModulator& m) {
  const int feedback = ((m.out1 + m.out2) >> m.fb_shift) & m.fb_mask;
  const int index = static_cast<int>(m.phase >> kIndexShift);
  const int32_t out = t.wave[m.waveform][(index + feedback) & 1023].sign_mask;
  m.out2 = m.out1;
  m.out1 = out;
  m.phase += m.inc;
}

// n samples of a parked modulator, exactly as n calls of
// StepParkedModulator, in a few steps for most n.
void AdvanceParkedModulator(const Tables& t, ParkedModulator& m, uint64_t n);

// n samples of a channel whose two slots are parked.
void AdvanceParkedChannel(const Tables& t, Slot& mod, Slot& car, uint64_t n);

}  // namespace opl2::detail
