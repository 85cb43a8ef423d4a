// The block kernel for SSE4.1: channels 0-7 in two groups of four lanes,
// channel 8 in plain registers,
// table lookups one lane at a time (no gathers before AVX2). Compiled for
// SSE4.1 by a target attribute and only run where the CPU has it.
#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "chip/chip_counters.h"
#include "chip/lane_kernels.h"
#include "chip/lane_state.h"
#include "chip/opl2_tables.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse4.1"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse4.1")
#endif

#include "chip/lane_kernel.h"

namespace opl2::detail {
namespace {

struct Sse41x4 {
  using V = __m128i;
  static constexpr int W = 4;
  static V Load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const V*>(p)); }
  static void Store(int32_t* p, V v) { _mm_storeu_si128(reinterpret_cast<V*>(p), v); }
  static V Set1(int32_t x) { return _mm_set1_epi32(x); }
  static V Add(V a, V b) { return _mm_add_epi32(a, b); }
  static V And(V a, V b) { return _mm_and_si128(a, b); }
  static V AndNot(V a, V b) { return _mm_andnot_si128(a, b); }
  static V Or(V a, V b) { return _mm_or_si128(a, b); }
  static V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  static V Max(V a, V b) { return _mm_max_epi32(a, b); }
  static V Min(V a, V b) { return _mm_min_epi32(a, b); }
  static V Abs(V a) { return _mm_abs_epi32(a); }
  static V CmpEq(V a, V b) { return _mm_cmpeq_epi32(a, b); }
  static V CmpGt(V a, V b) { return _mm_cmpgt_epi32(a, b); }
  static V MulLo(V a, V b) { return _mm_mullo_epi32(a, b); }
  template <int k>
  static V SrlI(V a) {
    return _mm_srli_epi32(a, k);
  }
  template <int k>
  static V SraI(V a) {
    return _mm_srai_epi32(a, k);
  }
  template <int k>
  static V SllI(V a) {
    return _mm_slli_epi32(a, k);
  }
  static int MoveMask(V a) { return _mm_movemask_ps(_mm_castsi128_ps(a)); }
  static void AddSums(const V* v, int32_t* out) {
    const V sums = _mm_hadd_epi32(_mm_hadd_epi32(v[0], v[1]), _mm_hadd_epi32(v[2], v[3]));
    Store(out, Add(Load(out), sums));
  }
  static int32_t HSum(V a) {
    a = _mm_add_epi32(a, _mm_shuffle_epi32(a, 0x4E));
    a = _mm_add_epi32(a, _mm_shuffle_epi32(a, 0xB1));
    return _mm_cvtsi128_si32(a);
  }
  // No variable shifts: the high half of a 16-bit multiply by 2^(7 + FB)
  // is the sum shifted right by 9 - FB (the sum fits in 16 bits; only the
  // low 10 bits of the result are used).
  static V Feedback(V sum, const ChannelLanes& c, int f) {
    return _mm_mulhi_epi16(sum, Load(c.fb_mul16 + f));
  }
  static void StoreS16(int16_t* out, V v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(v, v));
  }
  static int32_t Word(const void* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static V GatherWave(const WaveEntry* base, V i) {
    return _mm_setr_epi32(Word(base + _mm_cvtsi128_si32(i)), Word(base + _mm_extract_epi32(i, 1)),
                          Word(base + _mm_extract_epi32(i, 2)),
                          Word(base + _mm_extract_epi32(i, 3)));
  }
  static V GatherMagnitude(const int16_t* base, V i) {
    return _mm_setr_epi32(base[_mm_cvtsi128_si32(i)], base[_mm_extract_epi32(i, 1)],
                          base[_mm_extract_epi32(i, 2)], base[_mm_extract_epi32(i, 3)]);
  }
};

}  // namespace

void RenderLanesSse41(const LaneBlock& block) {
  RenderLaneBlock<Group<Sse41x4, 0>, Group<Sse41x4, 4>>(block);
}

}  // namespace opl2::detail

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
