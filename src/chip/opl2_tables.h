// Fixed tables of the YM3812: the log-sin and exponent ROMs, the frequency
// multiplier, key-scale levels, envelope step sizes and the waveform lookups
// derived from them. All are computed once from their formulas.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace opl2 {

// One entry of a waveform lookup: the log-sin attenuation for a phase index
// (kSilentAtt where the waveform outputs zero) and the mask XORed onto the
// magnitude (-1 for the one's-complement negative half, 0 otherwise).
struct WaveEntry {
  uint16_t att;
  int16_t sign_mask;
};

// Attenuation large enough that the exponent stage yields magnitude 0.
inline constexpr uint16_t kSilentAtt = 4095;

inline constexpr int kMagnitudeSize = 4096 + 8 * 1024;
// Largest unclamped envelope output: level, KSL at 6 dB/oct, TL, deep tremolo.
inline constexpr int kMaxEnvelopeSum = 511 + 4 * 56 + 4 * 63 + 26;
static_assert(kMagnitudeSize > 4095 + 8 * kMaxEnvelopeSum);

// Number of envelope clock patterns: sample parity x lowest set bit of the
// envelope counter (0-12, 13 = none) x the counter's two low bits.
inline constexpr int kStepPatterns = 2 * 14 * 4;

struct Tables {
  std::array<uint16_t, 256> log_sin;  // quarter sine, 256 units per octave
  std::array<uint16_t, 256> exp;      // (2^(j/256) - 1) * 1024
  // Magnitude for a total attenuation a = log-sin + 8 * envelope output.
  // Everything from 3072 on is 0, and the table reaches far enough that the
  // envelope sum needs no clamp to 511 (level 511 + KSL 224 + TL 252 +
  // tremolo 26 = 1013, times 8, plus the largest attenuation 4095).
  std::array<int16_t, kMagnitudeSize> magnitude;
  // Waveform lookups, indexed [waveform][phase index 0-1023], each
  // repeated once more so that an index plus a modulation of 0-1023 needs
  // no wrap.
  std::array<std::array<WaveEntry, 2048>, 4> wave;
  // Twice the frequency multiple, indexed by MULT.
  std::array<uint8_t, 16> mult_x2;
  // Key-scale base attenuation in envelope units, indexed [BLOCK][F >> 6].
  std::array<std::array<uint8_t, 16>, 8> ksl_base;
  // Envelope step size (0, 1, 2 or 4), indexed [pattern][effective rate].
  std::array<std::array<uint8_t, 64>, kStepPatterns> step;
  // Bit r set where step[pattern][r] is not 0.
  std::array<uint64_t, kStepPatterns> step_mask;
};

// The exponent stage as three float factors, for vector sets that multiply
// faster than they look up: with k = a & 255, the ROM's 1024 + exp[255 - k]
// is the float product (high[k >> 5] * middle[(k >> 2) & 7]) * low[k & 7]
// (1024 * 2^((255 - k) / 256) split over k's bits) rounded to nearest, and
// the magnitude that doubled, shifted right by a >> 8. The product is never
// within 7e-4 of a half, so the float rounding cannot reach the result
// (checked over every a).
struct ExpFactors {
  float high[8], middle[8], low[8];
};

namespace detail {
// 2^x for x in [-1, 1], to double precision (std::exp2 is not constexpr).
constexpr double Exp2(double x) {
  const double y = x * 0.6931471805599453094;  // x ln 2
  double term = 1.0, sum = 1.0;
  for (int k = 1; k < 30; ++k) {
    term *= y / k;
    sum += term;
  }
  return sum;
}

constexpr ExpFactors BuildExpFactors() {
  ExpFactors f{};
  for (int i = 0; i < 8; ++i) {
    f.high[i] = static_cast<float>(1024.0 * Exp2((255.0 - 32.0 * i) / 256.0));
    f.middle[i] = static_cast<float>(Exp2(-4.0 * i / 256.0));
    f.low[i] = static_cast<float>(Exp2(-(i & 3) / 256.0));
  }
  return f;
}
}  // namespace detail

inline constexpr ExpFactors kExpFactors = detail::BuildExpFactors();

// Tables::magnitude[a] by the factors, one lane's worth of what a vector
// kernel computes.
int32_t MagnitudeByFactors(int a);

// The tables, built on first use (thread-safe static initialisation).
const Tables& GetTables();

// Index into Tables::step for the current sample.
inline int StepPattern(bool odd_sample, uint32_t env_counter) {
  const uint32_t low = env_counter & 0x1FFF;
  const int z = low == 0 ? 13 : std::countr_zero(low);
  return ((odd_sample ? 14 : 0) + z) * 4 + static_cast<int>(env_counter & 3);
}

// Builds the step size of one effective rate under one pattern, from the
// envelope clock rules. Exposed so that the table can be checked.
uint8_t ComputeStepSize(int rate, bool odd_sample, uint32_t env_counter);

// Operator output for phase index p (0-1023), envelope output e (0-511) and
// waveform ws, straight from the ROM formulas (slow path, for checks).
int OperatorOutputReference(int p, int e, int ws);

}  // namespace opl2
