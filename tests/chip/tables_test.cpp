// Checks the ROM-derived tables and the DAC against the check values of the
// chip fact sheet.
#include <gtest/gtest.h>

#include <algorithm>

#include "chip/opl2_dac.h"
#include "chip/opl2_tables.h"

namespace opl2 {
namespace {

TEST(Tables, LogSinAndExponentCheckValues) {
  const Tables& t = GetTables();
  const std::pair<int, int> log_sin[] = {{0, 2137}, {1, 1731},  {2, 1543},  {14, 894}, {15, 869},
                                         {16, 846}, {127, 129}, {128, 127}, {254, 0},  {255, 0}};
  for (const auto& [i, v] : log_sin) EXPECT_EQ(t.log_sin[i], v) << "S[" << i << "]";
  const std::pair<int, int> exp[] = {{0, 0},     {1, 3},     {2, 6},      {15, 42},   {127, 420},
                                     {128, 424}, {191, 693}, {254, 1013}, {255, 1018}};
  for (const auto& [j, v] : exp) EXPECT_EQ(t.exp[j], v) << "X[" << j << "]";
}

// Operator output through the fast lookup tables the chip uses.
int FastOutput(int p, int e, int ws) {
  const Tables& t = GetTables();
  const WaveEntry w = t.wave[ws][p];
  return t.magnitude[w.att + 8 * e] ^ w.sign_mask;
}

TEST(Tables, SineOperatorCheckValues) {
  struct Case {
    int p, e, out;
  };
  const Case cases[] = {{0, 0, 12},      {1, 0, 37},      {8, 0, 213},    {128, 0, 2896},
                        {255, 0, 4084},  {256, 0, 4084},  {511, 0, 12},   {512, 0, -13},
                        {767, 0, -4085}, {1023, 0, -13},  {255, 1, 3998}, {255, 4, 3746},
                        {255, 32, 2042}, {255, 64, 1021}, {255, 256, 15}, {255, 383, 1},
                        {255, 384, 0},   {768, 511, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(OperatorOutputReference(c.p, c.e, 0), c.out) << "p=" << c.p << " E=" << c.e;
    EXPECT_EQ(FastOutput(c.p, c.e, 0), c.out) << "p=" << c.p << " E=" << c.e;
  }
}

TEST(Tables, WaveformShapes) {
  // Half sine is silent in its negative half; absolute sine mirrors it;
  // the pulse sine only plays rising quarters.
  for (int p = 0; p < 1024; ++p) {
    const int sine = OperatorOutputReference(p, 0, 0);
    const int mag = sine < 0 ? -sine - 1 : sine;
    EXPECT_EQ(OperatorOutputReference(p, 0, 1), p < 512 ? mag : 0) << p;
    EXPECT_EQ(OperatorOutputReference(p, 0, 2), mag) << p;
    EXPECT_EQ(OperatorOutputReference(p, 0, 3), (p & 256) ? 0 : mag) << p;
  }
}

TEST(Tables, FastLookupsMatchTheFormulaEverywhere) {
  // The chip feeds envelope sums above 511 to the fast path unclamped.
  for (int ws = 0; ws < 4; ++ws) {
    for (int e = 0; e <= kMaxEnvelopeSum; e += 3) {
      for (int p = 0; p < 1024; ++p) {
        ASSERT_EQ(FastOutput(p, e, ws), OperatorOutputReference(p, std::min(e, 511), ws))
            << "ws=" << ws << " E=" << e << " p=" << p;
      }
    }
  }
}

// The AVX2 kernel multiplies float factors instead of reading the exponent
// ROM: every attenuation it can meet must give the ROM's magnitude, here
// against the ROM formula itself (check values above).
TEST(Tables, ExponentByFactorsMatchesTheRomEverywhere) {
  for (int a = 0; a < kMagnitudeSize; ++a) {
    const int clamped = std::min(a, 4095);
    const int rom = ((1024 + GetTables().exp[255 - (clamped & 255)]) * 2) >> (clamped >> 8);
    ASSERT_EQ(MagnitudeByFactors(a), rom) << "a=" << a;
  }
}

TEST(Tables, KeyScaleBase) {
  const int expected[8][16] = {
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 4, 5, 6, 7, 8},
      {0, 0, 0, 0, 0, 3, 5, 7, 8, 10, 11, 12, 13, 14, 15, 16},
      {0, 0, 0, 5, 8, 11, 13, 15, 16, 18, 19, 20, 21, 22, 23, 24},
      {0, 0, 8, 13, 16, 19, 21, 23, 24, 26, 27, 28, 29, 30, 31, 32},
      {0, 8, 16, 21, 24, 27, 29, 31, 32, 34, 35, 36, 37, 38, 39, 40},
      {0, 16, 24, 29, 32, 35, 37, 39, 40, 42, 43, 44, 45, 46, 47, 48},
      {0, 24, 32, 37, 40, 43, 45, 47, 48, 50, 51, 52, 53, 54, 55, 56},
  };
  const Tables& t = GetTables();
  for (int b = 0; b < 8; ++b) {
    for (int f = 0; f < 16; ++f) EXPECT_EQ(t.ksl_base[b][f], expected[b][f]) << b << "," << f;
  }
}

TEST(Tables, FastEnvelopeRateSizes) {
  // Step sizes for rates 48-63 over N mod 8, with T = N / 2 (T counts up at
  // every even sample).
  const char* expected[16] = {"01010101", "11010101", "11011101", "11111101",
                              "11111111", "22111111", "22112211", "22222211",
                              "22222222", "44222222", "44224422", "44444422",
                              "44444444", "44444444", "44444444", "44444444"};
  const Tables& t = GetTables();
  for (int rate = 48; rate < 64; ++rate) {
    for (int n = 0; n < 8; ++n) {
      const int size = t.step[StepPattern(n & 1, static_cast<uint32_t>(n / 2))][rate];
      EXPECT_EQ(size, expected[rate - 48][n] - '0') << "rate " << rate << " N " << n;
    }
  }
}

TEST(Tables, SlowEnvelopeRatePeriods) {
  // Over 2^14 samples, rate 4 steps 4 times, rate 44 every 4 samples and
  // rate 47 in 7 of every 8 odd samples.
  const Tables& t = GetTables();
  auto count = [&](int rate) {
    int steps = 0;
    for (uint32_t n = 0; n < (1u << 14); ++n) {
      const int size = t.step[StepPattern(n & 1, n / 2)][rate];
      EXPECT_LE(size, 1);
      if (size != 0) {
        EXPECT_EQ(n & 1, 1u) << "rate " << rate << " stepped in an even sample";
        ++steps;
      }
    }
    return steps;
  };
  EXPECT_EQ(count(4), 4);
  EXPECT_EQ(count(44), (1 << 14) / 4);
  EXPECT_EQ(count(47), (1 << 13) * 7 / 8);
  EXPECT_EQ(count(3), 0);
}

TEST(Dac, CheckValues) {
  const std::pair<int, int> cases[] = {
      {0, 0},         {511, 511},     {512, 512},     {513, 512},       {-512, -512},
      {-513, -514},   {1023, 1022},   {-1025, -1028}, {4084, 4080},     {-4085, -4088},
      {16383, 16352}, {32767, 32704}, {40000, 32704}, {-32768, -32768}, {-50000, -32768}};
  for (const auto& [sum, dac] : cases) EXPECT_EQ(DacValue(sum), dac) << "sum " << sum;
}

}  // namespace
}  // namespace opl2
