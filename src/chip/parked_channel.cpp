#include "chip/parked_channel.h"

namespace opl2::detail {
namespace {

// How far back from the end a sample free of history is looked for.
constexpr uint64_t kLookBack = 64;

uint32_t PhaseAt(const ParkedModulator& m, uint64_t j) {
  return m.phase + static_cast<uint32_t>(j * m.inc);
}

int IndexAt(const ParkedModulator& m, uint64_t j) {
  return static_cast<int>(PhaseAt(m, j) >> kIndexShift);
}

}  // namespace

void AdvanceParkedModulator(const Tables& t, ParkedModulator& m, uint64_t n) {
  const ParkedModulator start = m;
  // The first two samples may still feed back outputs from before the slot
  // was parked; after them the history is 0 or -1, so the feedback input
  // is 0 or 1023, which moves the index back by at most one step.
  uint64_t j = 0;
  for (; j < n && j < 2; ++j) StepParkedModulator(t, m);
  if (j == n) return;

  // Only waveform 0 has a sign, and only feedback makes the output depend on
  // the history; even then only at the starts of the two half cycles
  // (index 0 and 512), where one step back crosses the sign bit.
  const bool history_matters = m.fb_mask != 0 && m.waveform == 0;
  auto free_of_history = [&](uint64_t k) {
    return !history_matters || (IndexAt(start, k) & 511) != 0;
  };
  auto sign_at = [&](uint64_t k) { return t.wave[m.waveform][IndexAt(start, k)].sign_mask; };

  // The last sample s (from 4 on) whose two predecessors are free of
  // history: their outputs are known, and only samples s..n-1 need running.
  const uint64_t lowest = n > kLookBack + 4 ? n - kLookBack : 4;
  for (uint64_t s = n; s >= lowest; --s) {
    if (free_of_history(s - 1) && free_of_history(s - 2)) {
      m.out1 = sign_at(s - 1);
      m.out2 = sign_at(s - 2);
      m.phase = PhaseAt(start, s);
      for (uint64_t k = s; k < n; ++k) StepParkedModulator(t, m);
      return;
    }
  }

  // Stuck at the half-cycle starts: an index that stands still or flips by
  // half a cycle each sample repeats with a period dividing 2, and the
  // history (4 states) then repeats with a period dividing 24 after at
  // most 8 samples. Skip whole periods.
  const uint64_t remaining = n - j;
  if ((m.inc == 0 || m.inc == 0x80000000u) && remaining > 32) {
    const uint64_t skip = (remaining - 8) / 24 * 24;
    const int32_t out1 = m.out1, out2 = m.out2;
    m = start;
    m.out1 = out1;
    m.out2 = out2;
    m.phase = PhaseAt(start, j + skip);
    for (uint64_t k = j + skip; k < n; ++k) StepParkedModulator(t, m);
    return;
  }
  for (; j < n; ++j) StepParkedModulator(t, m);
}

void AdvanceParkedChannel(const Tables& t, Slot& mod, Slot& car, uint64_t n) {
  ParkedModulator m{mod.phase,   mod.inc_now, mod.waveform, mod.fb_shift,
                    mod.fb_mask, mod.out1,    mod.out2};
  AdvanceParkedModulator(t, m, n);
  mod.phase = m.phase;
  mod.out1 = m.out1;
  mod.out2 = m.out2;
  car.phase += static_cast<uint32_t>(n * car.inc_now);
}

}  // namespace opl2::detail
