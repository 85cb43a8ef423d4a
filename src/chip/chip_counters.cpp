#include "chip/chip_counters.h"

namespace opl2 {
namespace {

constexpr uint32_t kEnvCounterWrap = 1u << 18;
constexpr int kTremoloPeak = 105;
constexpr int kTremoloPeriod = 2 * kTremoloPeak;

// Tremolo steps among LFO counter values 1..x: those equal to 1 mod 64.
uint64_t TremoloStepsUpTo(uint64_t x) {
  return x == 0 ? 0 : (x - 1) / 64 + 1;
}

}  // namespace

void AdvanceClock(ChipClock& c, uint64_t n) {
  // The envelope counter moves at the start of every even sample.
  const uint64_t env_steps = c.odd ? (n + 1) / 2 : n / 2;
  if (n & 1) c.odd = !c.odd;
  uint64_t env = c.env_counter + env_steps;
  if (env >= kEnvCounterWrap) env = 1 + (env - kEnvCounterWrap) % (kEnvCounterWrap - 1);
  c.env_counter = static_cast<uint32_t>(env);

  const uint64_t lfo = c.lfo_counter + n;
  uint64_t tremolo_steps = TremoloStepsUpTo(lfo) - TremoloStepsUpTo(c.lfo_counter);
  c.lfo_counter = static_cast<uint16_t>(lfo & 1023);
  c.vibrato_pos = static_cast<uint8_t>((c.vibrato_pos + (lfo >> 10)) & 7);

  // A start state off the triangle (only SetClock makes one) is stepped
  // until it joins it.
  auto on_triangle = [&c] {
    return c.tremolo_rising ? c.tremolo < kTremoloPeak : c.tremolo > 0 && c.tremolo <= kTremoloPeak;
  };
  for (; tremolo_steps > 0 && !on_triangle(); --tremolo_steps) {
    if (c.tremolo_rising) {
      if (++c.tremolo == kTremoloPeak) c.tremolo_rising = false;
    } else {
      if (--c.tremolo == 0) c.tremolo_rising = true;
    }
  }
  if (tremolo_steps == 0) return;
  // The tremolo value walks a triangle 0..105..1 of 210 positions.
  const uint64_t pos = c.tremolo_rising ? c.tremolo : kTremoloPeriod - c.tremolo;
  const auto p = static_cast<int>((pos + tremolo_steps) % kTremoloPeriod);
  c.tremolo_rising = p < kTremoloPeak;
  c.tremolo = static_cast<uint8_t>(p <= kTremoloPeak ? p : kTremoloPeriod - p);
}

void ChipTimers::Advance(uint64_t n, uint8_t control, const uint8_t reload[2]) {
  const uint64_t start = tick;
  tick = static_cast<uint32_t>(start + n);
  if ((control & 3) == 0) return;
  for (int i = 0; i < 2; ++i) {
    if (!(control & (1 << i))) continue;
    // 2^32 is a multiple of both periods, so counting in 64 bits matches
    // the wrapping counter.
    const uint64_t period = i == 0 ? 4 : 16;
    uint64_t counts = (start + n) / period - start / period;
    const uint64_t to_overflow = 256 - count[i];
    if (counts < to_overflow) {
      count[i] = static_cast<uint8_t>(count[i] + counts);
      continue;
    }
    counts -= to_overflow;
    if (!(control & (0x40 >> i))) flags |= static_cast<uint8_t>(0x40 >> i);
    count[i] = static_cast<uint8_t>(reload[i] + counts % (256 - reload[i]));
  }
}

}  // namespace opl2
