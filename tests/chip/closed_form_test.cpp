// The shortcuts a block takes over many samples at once, against stepping
// sample by sample: a parked modulator's phase and feedback history, the
// envelope and LFO counters, the timers.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "chip/chip_counters.h"
#include "chip/parked_channel.h"

namespace opl2 {
namespace {

using detail::ParkedModulator;

TEST(ClosedForm, ParkedModulatorMatchesStepping) {
  const Tables& t = GetTables();
  std::mt19937 rng(7);
  auto any = [&](uint32_t hi) { return std::uniform_int_distribution<uint32_t>(0, hi)(rng); };
  // Increments that keep the index on a half-cycle start, creep past it, or
  // move it freely; phases on and next to those starts.
  const uint32_t incs[] = {0, 1u << 13, 7u << 13, 0x80000000u, 0x80002000u, 0x7FFFE000u, 1u << 22};
  const uint32_t phases[] = {0, 512u << 22, (512u << 22) - 1, 1023u << 22, 3u << 21};
  const int32_t histories[][2] = {{0, 0}, {-1, 0}, {0, -1}, {-1, -1}, {4000, -4085}, {17, 3}};
  const uint64_t lengths[] = {0, 1, 2, 3, 4, 5, 33, 64, 65, 66, 67, 100, 1000, 1024, 70000};
  int cases = 0;
  for (int ws = 0; ws < 4; ++ws) {
    for (int fb = 0; fb < 8; ++fb) {
      for (int trial = 0; trial < 40; ++trial) {
        ParkedModulator m;
        m.waveform = ws;
        m.fb_shift = fb ? 9 - fb : 0;
        m.fb_mask = fb ? 1023 : 0;
        m.inc = trial < 14 ? incs[trial % 7] : any(UINT32_MAX) & ~0x1FFFu;
        m.phase = trial % 3 ? phases[trial % 5] : any(UINT32_MAX) & ~0x1FFFu;
        m.out1 = histories[trial % 6][0];
        m.out2 = histories[trial % 6][1];
        const uint64_t n = lengths[(trial + ws + fb) % 15];
        ParkedModulator stepped = m;
        for (uint64_t i = 0; i < n; ++i) StepParkedModulator(t, stepped);
        detail::AdvanceParkedModulator(t, m, n);
        ASSERT_EQ(m.phase, stepped.phase) << "ws " << ws << " fb " << fb << " trial " << trial;
        ASSERT_EQ(m.out1, stepped.out1) << "ws " << ws << " fb " << fb << " trial " << trial;
        ASSERT_EQ(m.out2, stepped.out2) << "ws " << ws << " fb " << fb << " trial " << trial;
        ++cases;
      }
    }
  }
  EXPECT_EQ(cases, 4 * 8 * 40);
}

TEST(ClosedForm, ClockMatchesStepping) {
  std::mt19937 rng(11);
  auto any = [&](uint32_t hi) { return std::uniform_int_distribution<uint32_t>(0, hi)(rng); };
  for (int trial = 0; trial < 300; ++trial) {
    ChipClock c;
    c.odd = any(1);
    // Near the envelope counter's wrap (which skips 0) now and then.
    c.env_counter = trial % 4 == 0 ? (1u << 18) - 1 - any(40) : any((1u << 18) - 1);
    c.lfo_counter = static_cast<uint16_t>(any(1023));
    c.vibrato_pos = static_cast<uint8_t>(any(7));
    c.tremolo = static_cast<uint8_t>(any(105));
    c.tremolo_rising = any(1);
    if (trial % 50 == 1) c.tremolo = static_cast<uint8_t>(200 + any(55));  // off the triangle
    const uint64_t n = trial % 25 == 0 ? 600000 + any(100000) : any(trial % 2 ? 100 : 30000);
    ChipClock stepped = c;
    for (uint64_t i = 0; i < n; ++i) StepClock(stepped);
    AdvanceClock(c, n);
    ASSERT_EQ(c.odd, stepped.odd) << "trial " << trial;
    ASSERT_EQ(c.env_counter, stepped.env_counter) << "trial " << trial;
    ASSERT_EQ(c.lfo_counter, stepped.lfo_counter) << "trial " << trial;
    ASSERT_EQ(c.vibrato_pos, stepped.vibrato_pos) << "trial " << trial;
    ASSERT_EQ(c.tremolo, stepped.tremolo) << "trial " << trial;
    ASSERT_EQ(c.tremolo_rising, stepped.tremolo_rising) << "trial " << trial;
  }
}

TEST(ClosedForm, TimersMatchStepping) {
  std::mt19937 rng(13);
  auto any = [&](uint32_t hi) { return std::uniform_int_distribution<uint32_t>(0, hi)(rng); };
  for (int trial = 0; trial < 400; ++trial) {
    ChipTimers timers;
    timers.count[0] = static_cast<uint8_t>(any(255));
    timers.count[1] = static_cast<uint8_t>(any(255));
    timers.tick = trial % 5 == 0 ? UINT32_MAX - any(30) : any(UINT32_MAX);
    const uint8_t control = static_cast<uint8_t>(any(0xFF) & 0x63);
    const uint8_t reload[2] = {static_cast<uint8_t>(trial % 7 ? any(255) : 255),
                               static_cast<uint8_t>(any(255))};
    const uint64_t n = any(trial % 3 ? 200 : 20000);
    // Each counts every 4 or 16 samples, sets its flag when it passes 255
    // (unless masked) and reloads.
    ChipTimers stepped = timers;
    for (uint64_t i = 0; i < n; ++i) {
      ++stepped.tick;
      for (int k = 0; k < 2; ++k) {
        if (!(control & (1 << k)) || stepped.tick % (k == 0 ? 4 : 16) != 0) continue;
        if (++stepped.count[k] == 0) {
          stepped.count[k] = reload[k];
          if (!(control & (0x40 >> k))) stepped.flags |= static_cast<uint8_t>(0x40 >> k);
        }
      }
    }
    timers.Advance(n, control, reload);
    ASSERT_EQ(timers.tick, stepped.tick) << "trial " << trial;
    ASSERT_EQ(timers.count[0], stepped.count[0]) << "trial " << trial;
    ASSERT_EQ(timers.count[1], stepped.count[1]) << "trial " << trial;
    ASSERT_EQ(timers.flags, stepped.flags) << "trial " << trial;
  }
}

}  // namespace
}  // namespace opl2
