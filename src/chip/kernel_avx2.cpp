// The block kernel for AVX2: channels 0-7 in 256-bit vectors, channel 8 in
// plain registers, table lookups by hardware gathers. Compiled for AVX2 by a
// target attribute and only run where the CPU has it.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>

#include "chip/chip_counters.h"
#include "chip/lane_kernels.h"
#include "chip/lane_state.h"
#include "chip/opl2_tables.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "chip/lane_kernel.h"

namespace opl2::detail {
namespace {

struct Avx2x8 {
  using V = __m256i;
  static constexpr int W = 8;
  static V Load(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const V*>(p)); }
  static void Store(int32_t* p, V v) { _mm256_storeu_si256(reinterpret_cast<V*>(p), v); }
  static V Set1(int32_t x) { return _mm256_set1_epi32(x); }
  static V Add(V a, V b) { return _mm256_add_epi32(a, b); }
  static V And(V a, V b) { return _mm256_and_si256(a, b); }
  static V AndNot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V Or(V a, V b) { return _mm256_or_si256(a, b); }
  static V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  static V Max(V a, V b) { return _mm256_max_epi32(a, b); }
  static V Min(V a, V b) { return _mm256_min_epi32(a, b); }
  static V Abs(V a) { return _mm256_abs_epi32(a); }
  static V CmpEq(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
  static V CmpGt(V a, V b) { return _mm256_cmpgt_epi32(a, b); }
  static V MulLo(V a, V b) { return _mm256_mullo_epi32(a, b); }
  template <int k>
  static V SrlI(V a) {
    return _mm256_srli_epi32(a, k);
  }
  template <int k>
  static V SraI(V a) {
    return _mm256_srai_epi32(a, k);
  }
  template <int k>
  static V SllI(V a) {
    return _mm256_slli_epi32(a, k);
  }
  static int MoveMask(V a) { return _mm256_movemask_ps(_mm256_castsi256_ps(a)); }
  static int32_t HSum(V a) {
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(a), _mm256_extracti128_si256(a, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
  }
  static void AddSums(const V* v, int32_t* out) {
    // Pairwise sums within 128-bit halves, then the two halves added.
    const V a = _mm256_hadd_epi32(_mm256_hadd_epi32(v[0], v[1]), _mm256_hadd_epi32(v[2], v[3]));
    const V b = _mm256_hadd_epi32(_mm256_hadd_epi32(v[4], v[5]), _mm256_hadd_epi32(v[6], v[7]));
    const V sums = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20),
                                    _mm256_permute2x128_si256(a, b, 0x31));
    Store(out, Add(Load(out), sums));
  }
  static V Feedback(V sum, const ChannelLanes& c, int f) {
    return _mm256_srav_epi32(sum, Load(c.fb_shift + f));
  }
  static void StoreS16(int16_t* out, V v) {
    const __m128i lo = _mm256_castsi256_si128(v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_packs_epi32(lo, _mm256_extracti128_si256(v, 1)));
  }
  static V GatherWave(const WaveEntry* base, V index) {
    return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), index, 4);
  }
  // The exponent stage computed, not looked up (see ExpFactors): three
  // 8-entry permutes and two multiplies take less time than a gather.
  static V GatherMagnitude(const int16_t* base, V index) {
    return And(_mm256_i32gather_epi32(reinterpret_cast<const int*>(base), index, 2), Set1(0xFFFF));
  }
  static V ComputeMagnitude(V a) {
    // Reads only the low 16 bits of a.
    const ExpFactors& f = kExpFactors;
    const __m256 high = _mm256_loadu_ps(f.high), middle = _mm256_loadu_ps(f.middle),
                 low = _mm256_loadu_ps(f.low);
    // A permute reads only the low 3 bits of each lane's index.
    const __m256 product =
        _mm256_mul_ps(_mm256_mul_ps(_mm256_permutevar8x32_ps(high, _mm256_srli_epi32(a, 5)),
                                    _mm256_permutevar8x32_ps(middle, _mm256_srli_epi32(a, 2))),
                      _mm256_permutevar8x32_ps(low, a));
    // Rounded to nearest (the default mode), doubled, shifted right by bits
    // 8-15 of a (shifts of 32 or more give 0).
    return _mm256_srlv_epi32(_mm256_slli_epi32(_mm256_cvtps_epi32(product), 1),
                             _mm256_srli_epi32(_mm256_slli_epi32(a, 16), 24));
  }
};

}  // namespace

void RenderLanesAvx2(const LaneBlock& block) {
  RenderLaneBlock<Group<Avx2x8, 0>>(block);
}

}  // namespace opl2::detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
