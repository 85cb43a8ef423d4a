#include "chip/opl2_tables.h"

#include <bit>
#include <cmath>
#include <numbers>

namespace opl2 {
namespace {

constexpr uint8_t kMultX2[16] = {1, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 20, 24, 24, 30, 30};
constexpr uint8_t kKslRom[16] = {0, 32, 40, 45, 48, 51, 53, 55, 56, 58, 59, 60, 61, 62, 63, 64};

// Whether the attenuation bit of the fast envelope rates is set, indexed
// [rate & 3][counter & 3].
constexpr bool kFastRateBit[4][4] = {
    {false, false, false, false},
    {true, false, false, false},
    {true, false, true, false},
    {true, true, true, false},
};

int LowestSetBit(uint32_t env_counter) {
  const uint32_t low = env_counter & 0x1FFF;
  return low == 0 ? 13 : std::countr_zero(low);
}

Tables BuildTables() {
  Tables t{};
  for (int i = 0; i < 256; ++i) {
    const double s = std::sin((i + 0.5) * std::numbers::pi / 512.0);
    t.log_sin[i] = static_cast<uint16_t>(std::lround(-std::log2(s) * 256.0));
    t.exp[i] = static_cast<uint16_t>(std::lround((std::exp2(i / 256.0) - 1.0) * 1024.0));
  }
  for (int a = 0; a < kMagnitudeSize; ++a) {
    const int clamped = a > 4095 ? 4095 : a;
    t.magnitude[a] =
        static_cast<int16_t>(((1024 + t.exp[255 - (clamped & 255)]) * 2) >> (clamped >> 8));
  }
  for (int ws = 0; ws < 4; ++ws) {
    for (int p = 0; p < 1024; ++p) {
      const bool negative = (p >> 9) & 1;
      const bool mirror = (p >> 8) & 1;
      const int i = mirror ? 255 - (p & 255) : (p & 255);
      WaveEntry e{t.log_sin[i], 0};
      if (ws == 0 && negative) e.sign_mask = -1;
      if ((ws == 1 && negative) || (ws == 3 && mirror)) e.att = kSilentAtt;
      t.wave[ws][p] = e;
      t.wave[ws][p + 1024] = e;
    }
  }
  for (int m = 0; m < 16; ++m) t.mult_x2[m] = kMultX2[m];
  for (int block = 0; block < 8; ++block) {
    for (int f = 0; f < 16; ++f) {
      const int base = kKslRom[f] - 8 * (8 - block);
      t.ksl_base[block][f] = static_cast<uint8_t>(base < 0 ? 0 : base);
    }
  }
  for (int odd = 0; odd < 2; ++odd) {
    for (int z = 0; z < 14; ++z) {
      for (int low = 0; low < 4; ++low) {
        // A counter value with lowest set bit z and low bits `low` (both
        // only matter where they agree, which the pattern index guarantees
        // for every value the counter can take).
        const uint32_t counter = z == 13 ? static_cast<uint32_t>(low) : (1u << z);
        const int pattern = (odd * 14 + z) * 4 + low;
        for (int rate = 0; rate < 64; ++rate) {
          // Rates 48+ read only the two low bits, rates below only z.
          const uint32_t c = rate >= 48 ? static_cast<uint32_t>(low) : counter;
          t.step[pattern][rate] = ComputeStepSize(rate, odd != 0, c);
          if (t.step[pattern][rate] != 0) t.step_mask[pattern] |= uint64_t{1} << rate;
        }
      }
    }
  }
  return t;
}

}  // namespace

uint8_t ComputeStepSize(int rate, bool odd_sample, uint32_t env_counter) {
  if (rate < 4) return 0;
  const int rh = rate >> 2;
  const int rl = rate & 3;
  if (rh <= 11) {
    if (!odd_sample) return 0;
    const int z = LowestSetBit(env_counter);
    if (z == 13) return 0;
    const bool hit = z == 11 - rh || (rl >= 2 && z == 12 - rh) || ((rl & 1) && z == 13 - rh);
    return hit ? 1 : 0;
  }
  const bool b = kFastRateBit[rl][env_counter & 3];
  switch (rh) {
    case 12:
      return (b || odd_sample) ? 1 : 0;
    case 13:
      return b ? 2 : 1;
    case 14:
      return b ? 4 : 2;
    default:
      return 4;
  }
}

const Tables& GetTables() {
  static const Tables tables = BuildTables();
  return tables;
}

int32_t MagnitudeByFactors(int a) {
  const int k = a & 255;
  const float product = kExpFactors.high[k >> 5] * kExpFactors.middle[(k >> 2) & 7];
  const auto rounded = static_cast<int32_t>(std::nearbyint(product * kExpFactors.low[k & 7]));
  const int shift = a >> 8;
  return shift >= 32 ? 0 : (rounded * 2) >> shift;
}

int OperatorOutputReference(int p, int e, int ws) {
  const Tables& t = GetTables();
  p &= 1023;
  const bool s = (p >> 9) & 1;
  const bool q = (p >> 8) & 1;
  int i = p & 255;
  if (q) i = 255 - i;
  int a = t.log_sin[i] + 8 * e;
  if (a > 4095) a = 4095;
  const int m = ((1024 + t.exp[255 - (a & 255)]) * 2) >> (a >> 8);
  switch (ws & 3) {
    case 0:
      return s ? -m - 1 : m;
    case 1:
      return s ? 0 : m;
    case 2:
      return m;
    default:
      return q ? 0 : m;
  }
}

}  // namespace opl2
